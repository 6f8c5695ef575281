#include "platform/win32/win32FileSystem.h"

#include <windows.h>

#include <algorithm>

#include "platform/text.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

DWORD attributesOf(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str());
}

Status lastError(const std::string& what, const std::string& path) {
  return Status::failure(what + " " + path + ": " + errorMessage(GetLastError()));
}

// Windows refuses to open a read-only file for writing. Wine run by root opens
// it all the same (root may write any file), so the attribute is looked at
// first: the answer is then Windows' on both.
Status refuseReadOnly(const std::string& what, const std::string& path) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY)) return {};
  return Status::failure(what + " " + path + ": " + errorMessage(ERROR_ACCESS_DENIED));
}

bool toLocal(const FILETIME& ft, DateTime& out) {
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return false;
  out = DateTime::fromCivil(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                            local.wSecond);
  return true;
}

bool fromLocal(DateTime t, FILETIME& ft) {
  const CivilDate d = t.date();
  if (d.year < 1601 || d.year > 30827) return false;
  SYSTEMTIME local{}, utc;
  local.wYear = static_cast<WORD>(d.year);
  local.wMonth = static_cast<WORD>(d.month);
  local.wDay = static_cast<WORD>(d.day);
  local.wHour = static_cast<WORD>(t.hour());
  local.wMinute = static_cast<WORD>(t.minute());
  local.wSecond = static_cast<WORD>(t.second());
  return TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &ft);
}

std::string withoutTrailingSeparator(std::string p) {
  while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.size() >= 2 && p[1] == ':')
    p[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
  return p;
}

// The path with every existing part spelled as stored (GetLongPathNameW).
std::string storedSpelling(const std::string& path) {
  const std::wstring w = widen(path);
  const DWORD n = GetLongPathNameW(w.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  const DWORD got = GetLongPathNameW(w.c_str(), out.data(), n);
  out.resize(got);
  return narrow(out);
}

Status deleteTree(const std::string& folder, bool force) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW(widen(folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return lastError("cannot list", folder);
  Status result;
  do {
    const std::string name = narrow(found.cFileName);
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    Status s;
    if (isFolder) {
      s = deleteTree(path, force);
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!RemoveDirectoryW(widen(path).c_str())) s = lastError("cannot delete", path);
    } else {
      if (force && (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(widen(path).c_str(),
                           found.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
      if (!DeleteFileW(widen(path).c_str())) s = lastError("cannot delete", path);
    }
    if (!s && result) result = s;
  } while (FindNextFileW(h, &found));
  FindClose(h);
  if (!result) return result;
  if (!RemoveDirectoryW(widen(folder).c_str())) return lastError("cannot delete", folder);
  return {};
}

}  // namespace

bool Win32FileSystem::folderExists(const std::string& path) {
  const DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FileSystem::fileExists(const std::string& path) {
  const DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

Status Win32FileSystem::createFolder(const std::string& path) {
  if (!CreateDirectoryW(widen(path).c_str(), nullptr))
    return lastError("cannot create the folder", path);
  return {};
}

Status Win32FileSystem::deleteFolder(const std::string& path, bool force) {
  if (!folderExists(path)) return Status::failure("no folder " + path);
  return deleteTree(withoutTrailingSeparator(path), force);
}

Status Win32FileSystem::copyFile(const std::string& source, const std::string& target,
                                 bool overwrite) {
  // CopyFileW keeps the time and the attributes (a read-only source gives a
  // read-only copy) and refuses to replace a read-only target.
  if (overwrite)
    if (Status s = refuseReadOnly("cannot copy " + source + " to", target); !s) return s;
  if (!CopyFileW(widen(source).c_str(), widen(target).c_str(), overwrite ? FALSE : TRUE))
    return lastError("cannot copy " + source + " to", target);
  return {};
}

Status Win32FileSystem::deleteFile(const std::string& path, bool force) {
  const std::wstring w = widen(path);
  const DWORD a = GetFileAttributesW(w.c_str());
  if (force && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(w.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (!DeleteFileW(w.c_str())) return lastError("cannot delete", path);
  return {};
}

Result<DateTime> Win32FileSystem::modificationTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  DateTime t;
  if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data))
    return lastError("cannot read the time of", path);
  if (!toLocal(data.ftLastWriteTime, t))
    return Status::failure("the time of " + path + " has no local form");
  return t;
}

Status Win32FileSystem::setModificationTime(const std::string& path, DateTime time) {
  FILETIME ft;
  if (!fromLocal(time, ft)) return Status::failure("no file time for " + time.text());
  const HANDLE h =
      CreateFileW(widen(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastError("cannot open", path);
  const bool ok = SetFileTime(h, nullptr, nullptr, &ft);
  const Status s = ok ? Status() : lastError("cannot set the time of", path);
  CloseHandle(h);
  return s;
}

Result<std::vector<std::string>> Win32FileSystem::listFiles(const std::string& folder) {
  if (!folderExists(folder)) return Status::failure("no folder " + folder);
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW(widen(withoutTrailingSeparator(folder) + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    return lastError("cannot list", folder);
  }
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(narrow(found.cFileName));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = toLower(a), lb = toLower(b);
    return la != lb ? la < lb : a < b;
  });
  return names;
}

Status Win32FileSystem::setWorkingFolder(const std::string& path) {
  if (!folderExists(path)) return Status::failure("no folder " + path);
  const std::string canonical = storedSpelling(absolutePath(path));
  if (!SetCurrentDirectoryW(widen(canonical).c_str()))
    return lastError("cannot change to the folder", path);
  return {};
}

std::string Win32FileSystem::workingFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring w(n, L'\0');
  w.resize(GetCurrentDirectoryW(n, w.data()));
  return withoutTrailingSeparator(narrow(w));
}

std::string Win32FileSystem::absolutePath(const std::string& path) {
  const std::wstring w = widen(path);
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  out.resize(GetFullPathNameW(w.c_str(), n, out.data(), nullptr));
  return withoutTrailingSeparator(narrow(out));
}

Result<std::string> Win32FileSystem::readText(const std::string& path) {
  const HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastError("cannot read", path);
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  Status s;
  for (;;) {
    if (!ReadFile(h, buffer, sizeof buffer, &got, nullptr)) {
      s = lastError("cannot read", path);
      break;
    }
    if (got == 0) break;
    text.append(buffer, got);
  }
  CloseHandle(h);
  if (!s) return s;
  return text;
}

Status Win32FileSystem::writeText(const std::string& path, const std::string& content) {
  if (Status s = refuseReadOnly("cannot write", path); !s) return s;
  // CREATE_ALWAYS keeps an existing file's name as stored (its letter case).
  const HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastError("cannot write", path);
  DWORD put = 0;
  bool ok = content.empty() ||
            (WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr) &&
             put == content.size());
  Status s = ok ? Status() : lastError("cannot write", path);
  if (!CloseHandle(h) && s) s = lastError("cannot close", path);
  return s;
}

Result<std::string> Win32FileSystem::shortPath(const std::string& path) {
  const std::wstring w = widen(path);
  const DWORD n = GetShortPathNameW(w.c_str(), nullptr, 0);
  if (n == 0) return lastError("no short name for", path);
  std::wstring out(n, L'\0');
  out.resize(GetShortPathNameW(w.c_str(), out.data(), n));
  return narrow(out);
}

Result<std::string> Win32FileSystem::systemFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return lastError("cannot find", "the system folder");
  return withoutTrailingSeparator(narrow(std::wstring_view(buffer, n)));
}

std::string installerFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return narrow(path.substr(0, path.find_last_of(L'\\')));
}

}  // namespace pm::win32
