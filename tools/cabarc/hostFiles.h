// What Cabarc needs of the host's files beyond std::filesystem, one
// implementation per system (posixHost.cpp, win32/win32Host.cpp). Names are
// UTF-8 inside the tool; a std::filesystem::path made from a narrow string
// would take the system's ANSI code page on Windows, so paths are converted
// here.
#pragma once

#include <filesystem>
#include <string>

#include "platform/datetime.h"
#include "platform/result.h"

namespace pm::cabarc {

inline std::filesystem::path pathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

// This process's id, for temporary names.
unsigned long processId();
// True when an entry of that name exists (a link counts, whatever it leads to).
bool entryExists(const std::filesystem::path& path);
// True for a symbolic link or a junction, which could lead out of a folder.
bool isLink(const std::filesystem::path& path);
// Makes an extracted file that the cabinet marks executable runnable (POSIX:
// the execute bits the umask allows; Windows runs any file by its name).
void markExecutable(const std::filesystem::path& path);
// Sets the modification time from a local civil date-time; false when the
// system cannot represent it or the call fails.
bool setLocalModificationTime(const std::filesystem::path& path, DateTime time);
// Moves a finished file over its final name, replacing a file there, durably.
Status replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace pm::cabarc
