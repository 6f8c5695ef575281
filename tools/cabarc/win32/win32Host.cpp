#include <windows.h>

#include "platform/win32/wideText.h"
#include "tools/cabarc/hostFiles.h"

namespace pm::cabarc {
namespace fs = std::filesystem;

unsigned long processId() {
  return GetCurrentProcessId();
}

bool entryExists(const fs::path& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isLink(const fs::path& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void markExecutable(const fs::path&) {}

bool setLocalModificationTime(const fs::path& path, DateTime t) {
  const CivilDate d = t.date();
  if (d.year < 1601 || d.year > 30827) return false;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(d.year);
  local.wMonth = static_cast<WORD>(d.month);
  local.wDay = static_cast<WORD>(d.day);
  local.wHour = static_cast<WORD>(t.hour());
  local.wMinute = static_cast<WORD>(t.minute());
  local.wSecond = static_cast<WORD>(t.second());
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
    return false;
  const HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileTime(h, nullptr, &ft, &ft) != 0;
  return CloseHandle(h) && ok;
}

Status replaceFile(const fs::path& from, const fs::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  return Status::failure("cannot move it into place: " + pm::win32::errorMessage(GetLastError()));
}

}  // namespace pm::cabarc
