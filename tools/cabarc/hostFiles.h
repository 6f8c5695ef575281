// What Cabarc needs of the host's files, one implementation per system
// (posixHost.cpp, win32/win32Host.cpp). A host path is UTF-8 text in the
// system's own form ("/home/ann/a.cab", "C:\Setup\a.cab"); the Windows
// implementation opens it by its UTF-16 name, whatever the ANSI code page.
// Cabarc.exe does without std::filesystem: on Windows its paths convert
// through the locale machinery, most of the program's size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime.h"
#include "platform/result.h"

namespace pm::cabarc {

// ----- host paths as text

// The separator Cabarc puts between parts ('/' on POSIX, '\' on Windows), and
// whether a character separates parts ('/' and '\' on Windows).
extern const char kHostSeparator;
bool isHostSeparator(char c);

// `folder` and `name` with one separator between them.
inline std::string hostJoin(std::string folder, std::string_view name) {
  if (!folder.empty() && !isHostSeparator(folder.back())) folder += kHostSeparator;
  folder += name;
  return folder;
}
// The last part of a path ("a.cab" of "C:\Setup\a.cab").
inline std::string hostName(std::string_view path) {
  std::size_t at = path.size();
  while (at > 0 && !isHostSeparator(path[at - 1])) --at;
  return std::string(path.substr(at));
}
// The folder of a path ("C:\Setup" of "C:\Setup\a.cab", "C:\" of "C:\a.cab",
// "" of "a.cab").
inline std::string hostParent(std::string_view path) {
  std::size_t at = path.size();
  while (at > 0 && !isHostSeparator(path[at - 1])) --at;
  if (at == 0) return {};
  std::size_t end = at - 1;
  while (end > 0 && isHostSeparator(path[end - 1])) --end;
  // The root keeps its separator ("/", "C:\").
  if (end == 0 || (end == 2 && path[1] == ':')) end = at;
  return std::string(path.substr(0, end));
}

// ----- the host's files

// What is at a path. `link` is the entry itself (a symbolic link or junction);
// `file` and `folder` look through a link at what it points to.
struct HostEntry {
  std::string name;  // in a folder's listing: the entry's name
  bool exists = false, file = false, folder = false, link = false;
};
HostEntry hostEntry(const std::string& path);
// The entries of a folder, "." and ".." left out, in no order; none when it
// cannot be read.
std::vector<HostEntry> listFolder(const std::string& path);
// A file's size; nothing when it cannot be read.
std::optional<std::uint64_t> hostFileSize(const std::string& path);
// True when both paths name one existing file.
bool sameHostFile(const std::string& a, const std::string& b);
// Makes one folder (its parent exists) or, with `parents`, every missing one.
Status makeHostFolder(const std::string& path, bool parents = false);
void removeHostFile(const std::string& path);
std::string currentHostFolder();

// A new file for a member on its way into `folder`, made exclusively: a name
// already taken is passed over, never opened. POSIX: ".Cabarc-<process>-<n>.tmp"
// in `folder`; Windows: a file in a folder of that name, made in `folder` for
// the run and removed as it ends. `handle` is open for writing (a descriptor on
// POSIX, a HANDLE on Windows).
struct NewFile {
  std::string path;
  std::intptr_t handle = -1;
};
Result<NewFile> createTemporaryIn(const std::string& folder);
// True for a symbolic link or a junction, which could lead out of a folder.
inline bool isLink(const std::string& path) {
  return hostEntry(path).link;
}
// Makes an extracted file that the cabinet marks executable runnable (POSIX:
// the execute bits the umask allows; Windows runs any file by its name).
void markExecutable(const std::string& path);
// Sets the modification time of an open file (a NewFile's handle) from a local
// civil date-time; false when the system cannot represent it or the call fails.
bool setLocalModificationTime(std::intptr_t file, DateTime time);
// Moves a finished file to its final name. With `replace` a file there is
// replaced; without it the move fails with `taken` set when the name is taken
// (even by a file that appeared a moment ago). `open` is the NewFile's handle
// when the caller still holds it open (Windows: ExtractionSink::end): the file
// is moved through it, without a second open by name, and one that cannot be
// moved goes when the handle is closed.
Status moveInto(const std::string& from, const std::string& to, bool replace, bool& taken,
                std::intptr_t open = -1);

}  // namespace pm::cabarc
