#include <windows.h>

#include <string>

#include "platform/win32/wideText.h"
#include "platform/win32/win32FileSystem.h"
#include "tools/cabarc/hostFiles.h"

namespace pm::cabarc {
namespace fs = std::filesystem;

Result<NewFile> createTemporaryIn(const fs::path& folder) {
  static const std::wstring prefix = L".Cabarc-" + std::to_wstring(GetCurrentProcessId()) + L"-";
  static unsigned counter = 0;
  for (;;) {
    fs::path path = folder / (prefix + std::to_wstring(++counter) + L".tmp");
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE)
      return NewFile{std::move(path), reinterpret_cast<std::intptr_t>(h)};
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return Status::failure("cannot create a file in " + utf8Of(folder) + ": " +
                             pm::win32::errorMessage(error));
  }
}

bool isLink(const fs::path& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void markExecutable(const fs::path&) {}

bool setLocalModificationTime(std::intptr_t file, DateTime t) {
  FILETIME ft;
  return pm::win32::fileTimeFromLocal(t, ft) &&
         SetFileTime(reinterpret_cast<HANDLE>(file), nullptr, &ft, &ft) != 0;
}

Status moveInto(const fs::path& from, const fs::path& to, bool replace, bool& taken) {
  taken = false;
  // No MOVEFILE_WRITE_THROUGH: the renamed files are staged members, and a new
  // cabinet is flushed before it is moved (Wine warns on every such call).
  if (MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return {};
  const DWORD error = GetLastError();
  taken = !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
  return Status::failure("cannot move it into place: " + pm::win32::errorMessage(error));
}

}  // namespace pm::cabarc
