// Small helpers that the stages share: path normalising, short paths, the system
// folder and the busy pointer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/filesystem.h"
#include "platform/ui.h"

namespace pm {

// Gives a path one trailing "\" unless its last non-blank character is "\" or "/";
// trailing blanks go when the separator is added, leading blanks stay.
void EnsureTrailingSeparator(std::string& path);
// The short form of a path, or the long path unchanged when there is none.
std::string ShortPathOf(FileSystem& fs, std::string longPath);
// The Windows system folder ending in "\", or "" when it cannot be found.
std::string GetSystemDir(FileSystem& fs);
// 11 asks for the hourglass, 0 releases it (nesting counted in `busyDepth`,
// never below 0); any other value sets the screen's pointer directly.
void SetBusyPointer(const std::int16_t& pointer, ui::Toolkit& toolkit, std::int16_t& busyDepth);
// The text before its first NUL character.
std::string TrimAtNul(std::string text);
// Trims blanks, then removes one pair of enclosing double quotes.
std::string UnquotePath(std::string text);

}  // namespace pm
