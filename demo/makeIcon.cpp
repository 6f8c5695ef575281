// Draws the three document-type icons of the demo (pmlra2.ico, books05.ico,
// goaltarget.ico) as real 32 x 32 Windows icons: one 32-bit image with its
// AND mask. The pictures are computed, so every build writes the same bytes.
//
//   demo_icon pmlra2|books05|goaltarget OUTPUT.ico
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

std::string iconFile(const Painter& paint) {
  const std::uint32_t maskRow = 4;  // 32 bits, already a multiple of four bytes
  const std::uint32_t imageBytes = 40 + kSize * kSize * 4 + kSize * maskRow;
  std::string out;
  // ICONDIR and its one entry.
  put16(out, 0);
  put16(out, 1);
  put16(out, 1);
  out.push_back(static_cast<char>(kSize));
  out.push_back(static_cast<char>(kSize));
  out.push_back(0);  // no palette
  out.push_back(0);
  put16(out, 1);   // planes
  put16(out, 32);  // bits per pixel
  put32(out, imageBytes);
  put32(out, 6 + 16);
  // BITMAPINFOHEADER: the height counts the colour image and the mask.
  put32(out, 40);
  put32(out, kSize);
  put32(out, kSize * 2);
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // BI_RGB
  put32(out, kSize * kSize * 4 + kSize * maskRow);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  // Rows bottom-up, BGRA.
  std::vector<std::uint8_t> mask(kSize * maskRow, 0);
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; ++x) {
      const Pixel p = paint(x, y);
      out.push_back(static_cast<char>(p.b));
      out.push_back(static_cast<char>(p.g));
      out.push_back(static_cast<char>(p.r));
      out.push_back(static_cast<char>(p.a));
      if (p.a == 0)
        mask[(kSize - 1 - y) * maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  out.append(mask.begin(), mask.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo_icon pmlra2|books05|goaltarget OUTPUT.ico\n");
    return 64;
  }
  const std::string kind = argv[1];
  Painter paint;
  if (kind == "pmlra2") {
    paint = productIcon;
  } else if (kind == "books05") {
    paint = booksIcon;
  } else if (kind == "goaltarget") {
    paint = targetIcon;
  } else {
    std::fprintf(stderr, "demo_icon: unknown icon \"%s\"\n", kind.c_str());
    return 64;
  }
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << iconFile(paint);
  file.close();
  if (!file) {
    std::fprintf(stderr, "demo_icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
