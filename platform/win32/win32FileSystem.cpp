#include "platform/win32/win32FileSystem.h"

#include <windows.h>
// after windows.h, whose types they use
#include <sddl.h>

#include <algorithm>

#include "platform/ansiText.h"
#include "platform/leftoverRecord.h"
#include "platform/text.h"
#include "platform/win32/temporaryFiles.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

// A path for the W functions. A bare drive ("D:") is that drive's root: to
// Windows "D:" alone is the current folder of drive D, which the installer
// never means (a folder is held without its trailing separator, so the folder
// of a program at the root of drive D is "D:"; taken as it is, the working
// folder would stay wherever it was last, in the temporary folder that the
// install then cannot remove).
std::wstring widePath(const std::string& path) {
  std::wstring w = widen(path);
  if (w.size() == 2 && w[1] == L':') w += L'\\';
  return w;
}

DWORD attributesOf(const std::string& path) {
  return GetFileAttributesW(widePath(path).c_str());
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

std::string withoutTrailingSeparator(std::string p) {
  while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.size() >= 2 && p[1] == ':')
    p[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
  return p;
}

// The path with every existing part spelled as stored (GetLongPathNameW).
std::string storedSpelling(const std::string& path) {
  const std::wstring w = widePath(path);
  const DWORD n = GetLongPathNameW(w.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  const DWORD got = GetLongPathNameW(w.c_str(), out.data(), n);
  out.resize(got);
  return narrow(out);
}

// The full path of `path` with its last part spelled as stored when it exists,
// so that a file replaced through a rename keeps the letter case of its name.
std::wstring storedTarget(const std::wstring& full) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW(full.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return full;
  FindClose(h);
  const std::size_t cut = full.find_last_of(L"\\/");
  return full.substr(0, cut + 1) + found.cFileName;
}

// Identity of an open file: its volume and index.
bool sameFile(const std::wstring& a, const std::wstring& b) {
  const auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  return identify(a, ia) && identify(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool writeAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    DWORD put = 0;
    if (!WriteFile(h, data, chunk, &put, nullptr) || put != chunk) return false;
    data += put;
    size -= put;
  }
  return true;
}

// Reads up to `want` bytes unless the file ends first; false on an error.
bool readFull(HANDLE h, char* buffer, DWORD want, DWORD& got) {
  got = 0;
  while (got < want) {
    DWORD n = 0;
    if (!ReadFile(h, buffer + got, want - got, &n, nullptr)) return false;
    if (n == 0) break;
    got += n;
  }
  return true;
}

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

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
  if (!CreateDirectoryW(widePath(path).c_str(), nullptr))
    return lastError("cannot create the folder", path);
  return {};
}

Status Win32FileSystem::deleteFolder(const std::string& path, bool force) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES) return Status::failure("no folder " + path);
  // A link goes as a link: what it points to is not ours to delete.
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
    const std::wstring w = widePath(withoutTrailingSeparator(path));
    if (!((a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(w.c_str()) : DeleteFileW(w.c_str())))
      return lastError("cannot delete the link", path);
    return {};
  }
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return Status::failure("no folder " + path);
  return removeFolderTree(widePath(withoutTrailingSeparator(path)), force);
}

Status Win32FileSystem::copyFile(const std::string& source, const std::string& target,
                                 bool overwrite) {
  // As CopyFileW: the copy keeps the time and the attributes (a read-only
  // source gives a read-only copy), and a read-only target is not replaced.
  const std::string what = "cannot copy " + source + " to";
  const std::wstring from = widePath(absolutePath(source));
  const std::wstring to = storedTarget(widePath(absolutePath(target)));
  const HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return lastError(what, target);
  BY_HANDLE_FILE_INFORMATION info{};
  Status result;
  const DWORD existing = GetFileAttributesW(to.c_str());
  if (!GetFileInformationByHandle(in, &info)) {
    result = lastError(what, target);
  } else if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY)
      result = Status::failure(what + " " + target + ": " + errorMessage(ERROR_ACCESS_DENIED));
    else if (!overwrite)
      result = Status::failure(what + " " + target + ": " + errorMessage(ERROR_FILE_EXISTS));
    else if (sameFile(from, to))
      result = Status::failure(what + " " + target + ": a file cannot be copied onto itself");
    else
      result = refuseReadOnly(what, target);
  }
  if (!result) {
    CloseHandle(in);
    return result;
  }
  TemporaryFile temp(to);
  if (!temp.ok()) {
    CloseHandle(in);
    return Status::failure(what + " " + target + ": " + errorMessage(temp.error()));
  }
  static constexpr DWORD kChunk = 1 << 16;
  std::string buffer(kChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buffer.data(), kChunk, &got, nullptr)) {
      result = lastError("cannot read", source);
      break;
    }
    if (got == 0) break;
    if (!writeAll(temp.handle(), buffer.data(), got)) {
      result = lastError(what, target);
      break;
    }
  }
  CloseHandle(in);
  if (!result) return result;
  if (!SetFileTime(temp.handle(), nullptr, nullptr, &info.ftLastWriteTime))
    return lastError(what, target);
  // Without replacing: a file made meanwhile under the name stays.
  if (!temp.commit(info.dwFileAttributes & kKeptAttributes, overwrite))
    return lastError(what, target);
  return {};
}

Status Win32FileSystem::deleteFile(const std::string& path, bool force) {
  const std::wstring w = widePath(path);
  const DWORD a = GetFileAttributesW(w.c_str());
  const bool link = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
  // A link to a folder is removed as the link it is.
  if (link && (a & FILE_ATTRIBUTE_DIRECTORY)) {
    if (!RemoveDirectoryW(w.c_str())) return lastError("cannot delete", path);
    return {};
  }
  if (force && !link && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(w.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (!DeleteFileW(w.c_str())) return lastError("cannot delete", path);
  return {};
}

Result<DateTime> Win32FileSystem::modificationTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  DateTime t;
  if (!GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data))
    return lastError("cannot read the time of", path);
  if (!toLocal(data.ftLastWriteTime, t))
    return Status::failure("the time of " + path + " has no local form");
  return t;
}

Status Win32FileSystem::setModificationTime(const std::string& path, DateTime time) {
  FILETIME ft;
  if (!fileTimeFromLocal(time, ft)) return Status::failure("no file time for " + time.text());
  const HANDLE h =
      CreateFileW(widePath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
  const HANDLE h =
      FindFirstFileW(widePath(withoutTrailingSeparator(folder) + "\\*").c_str(), &found);
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
  if (!SetCurrentDirectoryW(widePath(canonical).c_str()))
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
  const std::wstring w = widePath(path);
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  out.resize(GetFullPathNameW(w.c_str(), n, out.data(), nullptr));
  return withoutTrailingSeparator(narrow(out));
}

Status Win32FileSystem::readPieces(const std::string& path,
                                   const std::function<bool(std::string_view)>& piece) {
  const HANDLE h = CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastError("cannot read", path);
  char buffer[65536];
  DWORD got = 0;
  Status s;
  for (;;) {
    if (!ReadFile(h, buffer, sizeof buffer, &got, nullptr)) {
      s = lastError("cannot read", path);
      break;
    }
    if (got == 0 || !piece(std::string_view(buffer, got))) break;
  }
  CloseHandle(h);
  return s;
}

std::string Win32FileSystem::fromAnsi(const std::string& bytes) {
  return ansiTextToUtf8(bytes, ansiToUtf8);
}

std::string Win32FileSystem::toAnsi(const std::string& text) {
  return utf8ToAnsi(text);
}

Status Win32FileSystem::writeText(const std::string& path, const std::string& content) {
  if (Status s = refuseReadOnly("cannot write", path); !s) return s;
  const std::wstring target = storedTarget(widePath(absolutePath(path)));
  const DWORD existing = GetFileAttributesW(target.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY))
    return Status::failure("cannot write " + path + ": " + errorMessage(ERROR_ACCESS_DENIED));
  TemporaryFile temp(target);
  if (!temp.ok())
    return Status::failure("cannot write " + path + ": " + errorMessage(temp.error()));
  if (!writeAll(temp.handle(), content.data(), content.size()))
    return lastError("cannot write", path);
  // A file that was there keeps its attributes (hidden, system...).
  const DWORD kept = existing == INVALID_FILE_ATTRIBUTES ? 0 : existing & kKeptAttributes;
  if (!temp.commit(kept)) return lastError("cannot write", path);
  return {};
}

Status Win32FileSystem::renameFile(const std::string& from, const std::string& to) {
  const std::string what = "cannot rename " + from + " to";
  const DWORD a = attributesOf(from);
  if (a == INVALID_FILE_ATTRIBUTES) return lastError(what, to);
  if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT))
    return Status::failure(what + " " + to + ": it is a folder");
  // Without MOVEFILE_REPLACE_EXISTING a taken name fails, and without
  // MOVEFILE_COPY_ALLOWED the file never leaves its drive half-copied.
  if (!MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return lastError(what, to);
  return {};
}

bool Win32FileSystem::isLink(const std::string& path) {
  const DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool Win32FileSystem::isReadOnly(const std::string& path) {
  const DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

Status Win32FileSystem::clearReadOnly(const std::string& path) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY))
    return Status::failure("cannot make " + path + " writable: it is not a file");
  if (!(a & FILE_ATTRIBUTE_READONLY)) return {};
  DWORD rest = a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (!SetFileAttributesW(widePath(path).c_str(), rest ? rest : FILE_ATTRIBUTE_NORMAL))
    return lastError("cannot make writable", path);
  return {};
}

bool Win32FileSystem::inUse(const std::string& path) {
  const HANDLE h = CreateFileW(widePath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  const DWORD err = GetLastError();
  return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
}

bool Win32FileSystem::folderWritable(const std::string& path) {
  if (!folderExists(path)) return false;
  const std::wstring folder = widePath(withoutTrailingSeparator(absolutePath(path)));
  for (int attempt = 0; attempt < 10; ++attempt) {
    // A name of ours, so that a sweep would know it; the system deletes it
    // when it is closed, however this process ends.
    const std::wstring probe = folder + L"\\.PMSetup.pmtmp-" + randomEnding(6);
    const HANDLE h = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return true;
    }
    const DWORD err = GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

Result<bool> Win32FileSystem::sameContent(const std::string& a, const std::string& b) {
  const auto open = [](const std::string& path) {
    return CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  };
  const HANDLE ha = open(a);
  if (ha == INVALID_HANDLE_VALUE) return lastError("cannot read", a);
  const HANDLE hb = open(b);
  if (hb == INVALID_HANDLE_VALUE) {
    const Status s = lastError("cannot read", b);
    CloseHandle(ha);
    return s;
  }
  Result<bool> result = false;
  LARGE_INTEGER sa{}, sb{};
  if (!GetFileSizeEx(ha, &sa)) {
    result = lastError("cannot read", a);
  } else if (!GetFileSizeEx(hb, &sb)) {
    result = lastError("cannot read", b);
  } else if (sa.QuadPart == sb.QuadPart) {
    static constexpr DWORD kChunk = 1 << 16;
    std::string bufferA(kChunk, '\0'), bufferB(kChunk, '\0');
    for (;;) {
      DWORD na = 0, nb = 0;
      if (!readFull(ha, bufferA.data(), kChunk, na)) {
        result = lastError("cannot read", a);
        break;
      }
      if (!readFull(hb, bufferB.data(), kChunk, nb)) {
        result = lastError("cannot read", b);
        break;
      }
      if (na != nb || bufferA.compare(0, na, bufferB, 0, nb) != 0) break;
      if (na == 0) {
        result = true;
        break;
      }
    }
  }
  CloseHandle(ha);
  CloseHandle(hb);
  return result;
}

Result<std::string> Win32FileSystem::createPrivateTempFolder(const std::string& prefix,
                                                             bool outlivesRun) {
  wchar_t base[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) return lastError("cannot find", "the temporary folder");
  const std::string folder = withoutTrailingSeparator(narrow(std::wstring_view(base, n)));
  // Full control for this user, the system and the administrators, and for
  // nobody else; nothing inherited from a shared temporary folder.
  HANDLE token = nullptr;
  std::wstring user;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
      wchar_t* sid = nullptr;
      if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        user = sid;
        LocalFree(sid);
      }
    }
    CloseHandle(token);
  }
  if (user.empty()) return lastError("cannot find the user of", "this process");
  const std::wstring sddl = L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return lastError("cannot describe the rights of", "a private folder");
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  Result<std::string> made = Status::failure("cannot create a temporary folder in " + folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring path =
        widePath(folder + "\\" + prefix + "-") + randomEnding(kFolderRandomLength);
    if (CreateDirectoryW(path.c_str(), &attributes)) {
      if (!outlivesRun) noteOwnTemporaryFolder(path);
      made = narrow(path);
      break;
    }
    const DWORD err = GetLastError();
    if (err != ERROR_ALREADY_EXISTS && err != ERROR_FILE_EXISTS) {
      made = Status::failure("cannot create a temporary folder in " + folder + ": " +
                             errorMessage(err));
      break;
    }
  }
  LocalFree(descriptor);
  return made;
}

namespace {

// A byte-range lock (LockFileEx) on an open lock file: other programs, and over
// SMB other computers, see it; the system gives it up with the handle, a kill
// included.
class Win32FileLock : public FileLock {
 public:
  explicit Win32FileLock(HANDLE handle) : handle_(handle) {}
  // The file goes while it is still locked; a taker that opened it meanwhile
  // sees it gone and makes a new one.
  ~Win32FileLock() override {
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(handle_, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(handle_);
  }
  Win32FileLock(const Win32FileLock&) = delete;
  Win32FileLock& operator=(const Win32FileLock&) = delete;

 private:
  HANDLE handle_;
};

constexpr DWORD kLockedByte = 0x40000000;

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

Result<std::unique_ptr<FileLock>> Win32FileSystem::lockFile(const std::string& path) {
  const std::wstring name = widePath(path);
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const auto refused = [&](const std::string& why) {
    return Status::failure("cannot lock " + path + ": " + why);
  };
  for (int attempt = 0; attempt < 5; ++attempt) {
    // A link at the name is opened as itself, and refused.
    const HANDLE h =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError("cannot lock", path);
    BY_HANDLE_FILE_INFORMATION held{}, named{};
    OVERLAPPED start{};
    if (!GetFileInformationByHandle(h, &held) ||
        (held.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      CloseHandle(h);
      return refused("it is not a file");
    }
    // One byte far past the holder's line, which others can then still read.
    start.Offset = kLockedByte;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
      const DWORD err = GetLastError();
      CloseHandle(h);
      return refused(err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING
                         ? "another program holds it"
                         : errorMessage(err));
    }
    // Its last holder deleted it between our open and our lock: try the new one.
    const HANDLE again = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const bool same = again != INVALID_HANDLE_VALUE && GetFileInformationByHandle(again, &named) &&
                      sameFile(held, named);
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    if (!same) {
      CloseHandle(h);
      continue;
    }
    std::string text(1024, '\0');
    DWORD got = 0;
    const bool read = ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
    text.resize(read ? got : 0);
    if (!read || !isLockFileText(text)) {
      CloseHandle(h);
      return refused("it holds something other than a lock of ours");
    }
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &length);
    const std::string line = lockFileText("computer " + narrow(computer) + ", process " +
                                          std::to_string(GetCurrentProcessId()));
    DWORD put = 0;
    if (SetFilePointer(h, 0, nullptr, FILE_BEGIN) != 0 || !SetEndOfFile(h) ||
        !WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &put, nullptr)) {
      const DWORD err = GetLastError();
      CloseHandle(h);
      return refused(errorMessage(err));
    }
    return std::unique_ptr<FileLock>(std::make_unique<Win32FileLock>(h));
  }
  return refused("it keeps being replaced");
}

Result<std::string> Win32FileSystem::shortPath(const std::string& path) {
  const std::wstring w = widePath(path);
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

bool fileTimeFromLocal(DateTime t, FILETIME& ft) {
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

std::string wineHostPath(const std::string& file) {
  using Convert = char*(CDECL*)(LPCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto convert = kernel ? reinterpret_cast<Convert>(reinterpret_cast<void*>(
                                    GetProcAddress(kernel, "wine_get_unix_file_name")))
                              : nullptr;
  if (!convert) return {};
  char* host = convert(widen(file).c_str());
  if (!host) return {};
  std::string out = host;
  HeapFree(GetProcessHeap(), 0, host);
  return out;
}

}  // namespace pm::win32
