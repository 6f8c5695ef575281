// Text at the Win32 boundary: UTF-8 inside the program, UTF-16 for the W
// functions, and the ANSI code page where old data (cabinet member names)
// carries it.
#pragma once

#include <string>
#include <string_view>

namespace pm::win32 {

// UTF-8 -> UTF-16. Invalid UTF-8 sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);
// Text in the system's ANSI code page (CP_ACP) -> UTF-8.
std::string ansiToUtf8(std::string_view ansi);
// UTF-8 -> the system's ANSI code page; a character it lacks becomes "?"
// (never a look-alike: no best-fit mapping).
std::string utf8ToAnsi(std::string_view utf8);

// The system's message for an error code (GetLastError()), without the
// trailing line break: "The process cannot access the file because it is
// being used by another process."
std::string errorMessage(unsigned long code);

}  // namespace pm::win32
