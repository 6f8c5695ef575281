// Draws the three document-type icons of the demo (pmlra2.ico, books05.ico,
// goaltarget.ico) as real 32 x 32 Windows icons: one 32-bit image with its
// AND mask; and the installer's own mark (pmsetup.ico, the icon of every
// Windows program we ship), a white "P" on a blue disc at 16 to 256 pixels
// (drawn at each size, with its edges smoothed; from 64 pixels up stored as
// PNG, as Windows reads large icon images). The pictures are computed, so
// every build writes the same bytes.
//
//   demo_icon pmlra2|books05|goaltarget|pmsetup OUTPUT.ico
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;

struct Pixel {
  std::uint8_t b = 0, g = 0, r = 0, a = 0;
};

Pixel rgb(int r, int g, int b) {
  return Pixel{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
               static_cast<std::uint8_t>(r), 255};
}

using Painter = std::function<Pixel(int x, int y)>;

double distanceFromCentre(int x, int y) {
  const double dx = x + 0.5 - kSize / 2.0;
  const double dy = y + 0.5 - kSize / 2.0;
  return std::sqrt(dx * dx + dy * dy);
}

// The product's own documents: a blue disc with a white "P".
Pixel productIcon(int x, int y) {
  const double d = distanceFromCentre(x, y);
  if (d > 15) return {};
  const bool stem = x >= 10 && x <= 13 && y >= 7 && y <= 24;
  const double bowl = std::hypot(x + 0.5 - 14.0, y + 0.5 - 12.0);
  const bool loop = x >= 12 && bowl <= 6.5 && bowl >= 3.5;
  if (stem || loop) return rgb(255, 255, 255);
  return d > 13.5 ? rgb(40, 60, 140) : rgb(66, 111, 176);
}

// Dictionaries: three books standing side by side.
Pixel booksIcon(int x, int y) {
  if (y < 4 || y > 28) return {};
  struct Book {
    int left, right, top;
    Pixel colour;
  };
  const Book books[] = {
      {4, 11, 6, rgb(176, 48, 48)}, {12, 19, 4, rgb(48, 112, 64)}, {20, 27, 8, rgb(200, 150, 40)}};
  for (const Book& book : books) {
    if (x < book.left || x > book.right || y < book.top) continue;
    if (x == book.left || x == book.right || y == book.top || y == 28) return rgb(30, 30, 30);
    if (y == book.top + 4 || y == 24) return rgb(235, 225, 200);
    return book.colour;
  }
  return {};
}

// Goals: a red and white target with a dark centre.
Pixel targetIcon(int x, int y) {
  const double d = distanceFromCentre(x, y);
  if (d > 15) return {};
  if (d <= 2.5) return rgb(40, 40, 40);
  const int ring = static_cast<int>(d / 3.0);
  return ring % 2 == 0 ? rgb(200, 30, 30) : rgb(250, 250, 250);
}

void put16(std::string& out, unsigned v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

void put32BigEndian(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// One square picture, rows top-down.
struct Image {
  int size;
  std::vector<Pixel> pixels;
  Pixel at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * size + x]; }
};

Image draw(int size, const std::function<Pixel(int x, int y)>& paint) {
  Image image{size, {}};
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) image.pixels.push_back(paint(x, y));
  return image;
}

// A 32-bit bitmap with its AND mask (the height counts both).
std::string bitmapImage(const Image& image) {
  const int n = image.size;
  const std::uint32_t maskRow = ((n + 31) / 32) * 4;
  std::string out;
  put32(out, 40);
  put32(out, n);
  put32(out, n * 2);
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // BI_RGB
  put32(out, n * n * 4 + n * maskRow);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  // Rows bottom-up, BGRA.
  std::vector<std::uint8_t> mask(n * maskRow, 0);
  for (int y = n - 1; y >= 0; --y) {
    for (int x = 0; x < n; ++x) {
      const Pixel p = image.at(x, y);
      out.push_back(static_cast<char>(p.b));
      out.push_back(static_cast<char>(p.g));
      out.push_back(static_cast<char>(p.r));
      out.push_back(static_cast<char>(p.a));
      if (p.a == 0)
        mask[(n - 1 - y) * maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  out.append(mask.begin(), mask.end());
  return out;
}

void pngChunk(std::string& out, const char* type, const std::string& data) {
  put32BigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::string typed = type + data;
  out += typed;
  put32BigEndian(out, static_cast<std::uint32_t>(
                          crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

// A PNG of 8-bit RGBA, every row unfiltered.
std::string pngImage(const Image& image) {
  std::string raw;
  for (int y = 0; y < image.size; ++y) {
    raw.push_back(0);
    for (int x = 0; x < image.size; ++x) {
      const Pixel p = image.at(x, y);
      raw += {static_cast<char>(p.r), static_cast<char>(p.g), static_cast<char>(p.b),
              static_cast<char>(p.a)};
    }
  }
  uLongf length = compressBound(raw.size());
  std::string packed(length, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &length,
            reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 9);
  packed.resize(length);
  std::string header;
  put32BigEndian(header, image.size);
  put32BigEndian(header, image.size);
  header += {8, 6, 0, 0, 0};  // 8 bits, RGBA, deflate, no filter choice, no interlace
  std::string out = "\x89PNG\r\n\x1A\n";
  pngChunk(out, "IHDR", header);
  pngChunk(out, "IDAT", packed);
  pngChunk(out, "IEND", "");
  return out;
}

// An icon file of the images, smallest first; from 64 pixels up as PNG.
std::string iconFile(const std::vector<Image>& images) {
  std::vector<std::string> data;
  for (const Image& image : images)
    data.push_back(image.size >= 64 ? pngImage(image) : bitmapImage(image));
  std::string out;
  put16(out, 0);
  put16(out, 1);
  put16(out, static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<char>(images[i].size & 0xFF));  // 256 is written as 0
    out.push_back(static_cast<char>(images[i].size & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    put32(out, static_cast<std::uint32_t>(data[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(data[i].size());
  }
  for (const std::string& d : data) out += d;
  return out;
}

// The installer's mark at one size: the demo document icon's "P" on its disc,
// drawn from the same measures (a 32-unit square), each pixel the mean of 4 x 4
// samples so that the edges stay smooth at every size.
Pixel installerMark(int x, int y, int size) {
  double r = 0, g = 0, b = 0, a = 0;
  constexpr int kSamples = 4;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const double u = (x + (sx + 0.5) / kSamples) * 32.0 / size;
      const double v = (y + (sy + 0.5) / kSamples) * 32.0 / size;
      const double d = std::hypot(u - 16.0, v - 16.0);
      if (d > 15.5) continue;
      const double bowl = std::hypot(u - 14.0, v - 12.0);
      const bool stem = u >= 10 && u < 14 && v >= 5 && v < 25;
      const bool loop = u >= 12 && bowl <= 7.0 && bowl >= 3.5;
      const Pixel p = stem || loop ? rgb(255, 255, 255)
                      : d > 14.0   ? rgb(40, 60, 140)
                                   : rgb(66, 111, 176);
      r += p.r;
      g += p.g;
      b += p.b;
      a += 255;
    }
  }
  if (a == 0) return {};
  // Colours weighted by coverage, alpha the covered share.
  const auto channel = [&](double c) { return static_cast<std::uint8_t>(c * 255 / a + 0.5); };
  return Pixel{channel(b), channel(g), channel(r),
               static_cast<std::uint8_t>(a / (kSamples * kSamples) + 0.5)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo_icon pmlra2|books05|goaltarget|pmsetup OUTPUT.ico\n");
    return 64;
  }
  const std::string kind = argv[1];
  Painter paint;
  std::vector<Image> images;
  if (kind == "pmsetup") {
    for (int size : {16, 24, 32, 48, 64, 128, 256})
      images.push_back(draw(size, [size](int x, int y) { return installerMark(x, y, size); }));
  } else if (kind == "pmlra2") {
    paint = productIcon;
  } else if (kind == "books05") {
    paint = booksIcon;
  } else if (kind == "goaltarget") {
    paint = targetIcon;
  } else {
    std::fprintf(stderr, "demo_icon: unknown icon \"%s\"\n", kind.c_str());
    return 64;
  }
  if (images.empty()) images.push_back(draw(kSize, paint));
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << iconFile(images);
  file.close();
  if (!file) {
    std::fprintf(stderr, "demo_icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
