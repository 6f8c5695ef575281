#include "unattended/answerText.h"

#include <optional>

#include "platform/ansiText.h"

namespace pm::unattended {

namespace {

// UTF-16 after its byte-order mark; empty when it is not well-formed.
std::optional<std::string> fromUtf16(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 2 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c < 0xE000) return std::nullopt;  // unpaired surrogate
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace

Result<std::string> answerText(std::string_view bytes, CodePage ansi) {
  std::optional<std::string> text;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    if (!isUtf8(bytes.substr(3))) return Status::failure("is marked UTF-8 but is not");
    text = std::string(bytes.substr(3));
  } else if (bytes.substr(0, 2) == "\xFF\xFE") {
    text = fromUtf16(bytes.substr(2), false);
  } else if (bytes.substr(0, 2) == "\xFE\xFF") {
    text = fromUtf16(bytes.substr(2), true);
  } else {
    text = isUtf8(bytes) ? std::string(bytes) : ansi(bytes);
  }
  if (!text || text->find('\0') != std::string::npos) return Status::failure("is not text");
  return *text;
}

}  // namespace pm::unattended
