// What Cabarc needs of the host's files beyond std::filesystem, one
// implementation per system (posixHost.cpp, win32/win32Host.cpp). Names are
// UTF-8 inside the tool; a std::filesystem::path made from a narrow string
// would take the system's ANSI code page on Windows, so paths are converted
// here.
#pragma once

#include <cstdint>
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

// A new file in `folder` for a member on its way in, named
// ".Cabarc-<process>-<n>.tmp" and made exclusively: a name already taken is
// passed over, never opened. `handle` is open for writing (a descriptor on
// POSIX, a HANDLE on Windows).
struct NewFile {
  std::filesystem::path path;
  std::intptr_t handle = -1;
};
Result<NewFile> createTemporaryIn(const std::filesystem::path& folder);
// True for a symbolic link or a junction, which could lead out of a folder.
bool isLink(const std::filesystem::path& path);
// Makes an extracted file that the cabinet marks executable runnable (POSIX:
// the execute bits the umask allows; Windows runs any file by its name).
void markExecutable(const std::filesystem::path& path);
// Sets the modification time of an open file (a NewFile's handle) from a local
// civil date-time; false when the system cannot represent it or the call fails.
bool setLocalModificationTime(std::intptr_t file, DateTime time);
// Moves a finished file to its final name. With `replace` a file there is
// replaced; without it the move fails with `taken` set when the name is taken
// (even by a file that appeared a moment ago).
Status moveInto(const std::filesystem::path& from, const std::filesystem::path& to, bool replace,
                bool& taken);

}  // namespace pm::cabarc
