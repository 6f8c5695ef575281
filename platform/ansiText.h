// "Plain ANSI text": the files an installer folder carries for people and old
// editors (the list files, the agreement) and the debug file it leaves. Such a
// file is written in the code page of the machine that made it; a Windows
// editor may also have saved it as UTF-8. The file system chooses the code page
// (FileSystem::fromAnsi, toAnsi); these are the shared parts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pm {

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong
// forms, surrogates or code points past U+10FFFF). Pure ASCII is UTF-8.
bool isUtf8(std::string_view s);

// Writes one code point (at most U+10FFFF) as UTF-8 at `out` (room for four
// bytes); returns the end of what it wrote.
inline char* putUtf8(char* out, std::uint32_t code) {
  if (code < 0x80) {
    *out++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code >> 6));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code >> 12));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code >> 18));
    *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

// Appends one code point (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, std::uint32_t code);

// Windows-1252 (the Western ANSI code page) -> UTF-8; the five bytes it leaves
// unassigned keep their own value, as Windows converts them.
std::string cp1252ToUtf8(std::string_view bytes);

// The bytes of an ANSI text file as UTF-8: text that is UTF-8 is kept (without
// a byte-order mark, which is not part of the text); anything else is read in
// `codePage`.
std::string ansiTextToUtf8(const std::string& bytes,
                           std::string (*codePage)(std::string_view bytes));

}  // namespace pm
