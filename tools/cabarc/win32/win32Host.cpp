#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/win32/wideText.h"
#include "platform/win32/win32FileSystem.h"
#include "tools/cabarc/hostFiles.h"
#include "tools/cabarc/win32/memberFiles.h"

namespace pm::cabarc {
namespace {

using pm::win32::widen;

// An entry's kind from its own attributes; a link is looked through for what
// it points to (nothing when that is gone).
HostEntry entryOf(const std::wstring& path, DWORD attributes) {
  HostEntry e;
  e.exists = true;
  e.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (e.link) {
    const HANDLE h =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return e;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!known) return e;
    attributes = info.dwFileAttributes;
  }
  e.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  e.file = !e.folder && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  return e;
}

// A path in the system's own form (\??\C:\..., \??\UNC\server\...), which
// every version of Windows takes; "" when it has no full form.
std::wstring ntName(const std::wstring& path) {
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  full.resize(
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  if (full.empty()) return full;
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0)
    return L"\\??\\" + full.substr(4);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
  return L"\\??\\" + full;
}

// Whether this is Wine (its ntdll tells its version).
bool underWine() {
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

// Under Wine, `to` by its host name in Wine's own form ("\??\unix\home\ann\x"),
// which Wine takes as spelt: given a Windows name that does not exist yet, it
// reads the whole folder for one that differs only in letter case, a read per
// member that grows with the members already there. The caller has looked for
// the name in every letter case already. "" on Windows, or when the folder
// has no host name that Wine gives back as it is.
std::wstring wineExactName(const std::wstring& to) {
  if (!underWine()) return {};
  // The last folder asked for and its name (renames come from one thread).
  static std::wstring folder, hostFolder;
  const std::size_t cut = to.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return {};
  if (to.compare(0, cut, folder) != 0 || folder.size() != cut) {
    folder = to.substr(0, cut);
    const std::string host = pm::win32::wineHostPath(pm::win32::narrow(folder));
    hostFolder.clear();
    if (!host.empty() && host.front() == '/' && pm::win32::narrow(widen(host)) == host) {
      hostFolder = L"\\??\\unix" + widen(host);
      for (wchar_t& c : hostFolder)
        if (c == L'/') c = L'\\';
      if (hostFolder.back() == L'\\') hostFolder.pop_back();
    }
  }
  return hostFolder.empty() ? std::wstring() : hostFolder + to.substr(cut);
}

// Renames an open file (opened with DELETE access) to the system's name `name`.
bool renameTo(HANDLE file, const std::wstring& name, bool replace) {
  const std::size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, name.data(), bytes);
  return SetFileInformationByHandle(file, FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size())) != 0;
}

// Renames an open file (opened with DELETE access) to `to`: under Wine by its
// host name, and by its Windows name where that fails for any reason but a
// taken name (a share, a drive Wine maps elsewhere), as on Windows.
bool renameOpenFile(HANDLE file, const std::wstring& to, bool replace) {
  if (const std::wstring exact = wineExactName(to); !exact.empty()) {
    if (renameTo(file, exact, replace)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
  }
  const std::wstring name = ntName(to);
  if (name.empty()) return false;
  return renameTo(file, name, replace);
}

// Makes the temporary file `path` for a member: written through the handle,
// shared with nobody, and renamed into place through it (DELETE access).
HANDLE createMemberFile(const std::string& path) {
  return CreateFileW(widen(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The round trips of a member's file that nobody waits for, done on a thread
// of their own: making the file (with the first write, which under Wine
// fetches the file's Unix descriptor) ahead, in the staging folder that the
// last members went to, and closing it once it is in place. Under Wine each
// of these is a round trip to its server, which does the work while the
// program waits; on Windows, the file system and its filters. Done here, they
// overlap with the decompression of the members around them. The files are
// exclusive and empty, like the ones made on demand; those left unused are
// removed as the program ends, and a killed run leaves them in the staging
// folder, where a killed run leaves its member files too.
class Ahead {
 public:
  ~Ahead() { finish(); }

  // Stops, closes what waits to be closed and removes the files not taken.
  void finish() {
    AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    WakeAllConditionVariable(&changed_);
    ReleaseSRWLockExclusive(&lock_);
    if (thread_) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(std::exchange(thread_, nullptr));
    }
    for (const HANDLE h : closing_) CloseHandle(h);
    closing_.clear();
    for (const Made& m : ready_) discard(m);
    ready_.clear();
  }

  // A file made ahead in `stage`, if one is ready or on its way; nothing when
  // the files are being made elsewhere, or failed (the caller then makes its
  // own, and says why that fails). Files follow `stage` once it is asked
  // for twice in a row.
  std::optional<NewFile> take(const std::string& stage) {
    AcquireSRWLockExclusive(&lock_);
    std::optional<NewFile> out;
    if (stage != stage_ && stage == lastAsked_ && !stop_) retarget(stage);
    lastAsked_ = stage;
    while (stage == stage_ && !failed_ && ready_.empty() && !stop_)
      SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    if (stage == stage_ && !ready_.empty()) {
      const Made m = ready_.front();
      ready_.erase(ready_.begin());
      out = NewFile{m.path, reinterpret_cast<std::intptr_t>(m.handle)};
      WakeAllConditionVariable(&changed_);
    }
    ReleaseSRWLockExclusive(&lock_);
    return out;
  }

  // The next free name in a staging folder, shared with the files made on demand.
  std::string nextName(const std::string& stage) {
    return hostJoin(stage, std::to_string(InterlockedIncrement(&counter_)) + ".tmp");
  }

  // Closes `file` on the thread (at once when there is none).
  void closeLater(HANDLE file) {
    AcquireSRWLockExclusive(&lock_);
    const bool queued = thread_ && !stop_;
    if (queued) {
      closing_.push_back(file);
      WakeAllConditionVariable(&changed_);
    }
    ReleaseSRWLockExclusive(&lock_);
    if (!queued) CloseHandle(file);
  }

  // Returns once every file given to closeLater is closed; false when none was waiting.
  bool closeNow() {
    AcquireSRWLockExclusive(&lock_);
    const bool any = !closing_.empty() || closingNow_;
    while (!closing_.empty() || closingNow_)
      SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    ReleaseSRWLockExclusive(&lock_);
    return any;
  }

 private:
  struct Made {
    std::string path;
    HANDLE handle;
  };
  static constexpr std::size_t kAhead = 8;

  // Removes a file made ahead through its own handle: never another file put
  // under its name.
  static void discard(const Made& m) {
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(m.handle, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(m.handle);
  }

  // Under the lock: the files go to `stage` from now on.
  void retarget(const std::string& stage) {
    for (const Made& m : ready_) discard(m);
    ready_.clear();
    stage_ = stage;
    failed_ = false;
    ++generation_;
    if (!thread_) thread_ = CreateThread(nullptr, 64 * 1024, run, this, 0, nullptr);
    if (!thread_) failed_ = true;
    WakeAllConditionVariable(&changed_);
  }

  static DWORD WINAPI run(void* self) {
    static_cast<Ahead*>(self)->work();
    return 0;
  }

  void work() {
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
      while (!stop_ && closing_.empty() && (failed_ || ready_.size() >= kAhead))
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
      if (stop_) break;
      if (!closing_.empty()) {  // closing first: somebody may wait for it
        std::vector<HANDLE> files = std::exchange(closing_, {});
        closingNow_ = true;
        ReleaseSRWLockExclusive(&lock_);
        for (const HANDLE h : files) CloseHandle(h);
        AcquireSRWLockExclusive(&lock_);
        closingNow_ = false;
        WakeAllConditionVariable(&changed_);
        continue;
      }
      const std::string stage = stage_;
      const unsigned generation = generation_;
      ReleaseSRWLockExclusive(&lock_);
      Made m{nextName(stage), INVALID_HANDLE_VALUE};
      m.handle = createMemberFile(m.path);
      if (m.handle != INVALID_HANDLE_VALUE) {
        // Writes nothing; under Wine it fetches the descriptor that the
        // member's writes then find at hand.
        DWORD none = 0;
        WriteFile(m.handle, "", 0, &none, nullptr);
      }
      AcquireSRWLockExclusive(&lock_);
      if (m.handle == INVALID_HANDLE_VALUE) {
        if (generation == generation_) failed_ = true;
      } else if (generation == generation_ && !stop_) {
        ready_.push_back(std::move(m));
      } else {
        discard(m);
      }
      WakeAllConditionVariable(&changed_);
    }
    ReleaseSRWLockExclusive(&lock_);
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  HANDLE thread_ = nullptr;
  bool stop_ = false, failed_ = false, closingNow_ = false;
  unsigned generation_ = 0;
  std::string stage_, lastAsked_;
  std::vector<Made> ready_;
  std::vector<HANDLE> closing_;
  volatile LONG counter_ = 0;
};

// Where members are written before they are renamed into place: a folder
// ".Cabarc-<process>-<n>.tmp" of this run in each destination folder, made
// exclusively (a name already taken is passed over). Windows, and Wine, look
// a name that does not exist up by reading the whole folder: a temporary file
// beside thousands of extracted ones cost a read of all of them per member.
// The folders, empty by then, are removed as the program ends.
class Staging {
 public:
  ~Staging() {
    ahead.finish();  // its unused files go before their folders
    for (const auto& [folder, stage] : stages_) RemoveDirectoryW(widen(stage).c_str());
  }
  Result<std::string> in(const std::string& folder) {
    if (const auto it = stages_.find(folder); it != stages_.end()) return it->second;
    static const std::string prefix = ".Cabarc-" + std::to_string(GetCurrentProcessId()) + "-";
    for (;;) {
      std::string stage = hostJoin(folder, prefix + std::to_string(++counter_) + ".tmp");
      if (CreateDirectoryW(widen(stage).c_str(), nullptr)) return stages_[folder] = stage;
      const DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS)
        return Status::failure("cannot create a file in " + folder + ": " +
                               pm::win32::errorMessage(error));
    }
  }

  Ahead ahead;

 private:
  std::unordered_map<std::string, std::string> stages_;
  unsigned counter_ = 0;
};

Staging& staging() {
  static Staging stages;
  return stages;
}

}  // namespace

const char kHostSeparator = '\\';
bool isHostSeparator(char c) {
  return c == '\\' || c == '/';
}

HostEntry hostEntry(const std::string& path) {
  const std::wstring wide = widen(path);
  const DWORD a = GetFileAttributesW(wide.c_str());
  return a == INVALID_FILE_ATTRIBUTES ? HostEntry{} : entryOf(wide, a);
}

std::vector<HostEntry> listFolder(const std::string& path) {
  std::vector<HostEntry> entries;
  const std::wstring folder = widen(hostJoin(path, ""));
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    HostEntry e = entryOf(folder + name, found.dwFileAttributes);
    e.name = pm::win32::narrow(name);
    entries.push_back(std::move(e));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return entries;
}

std::optional<std::uint64_t> hostFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool sameHostFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    const HANDLE h = CreateFileW(widen(*paths[i]).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(h, &info[i]) != 0;
    CloseHandle(h);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

Status makeHostFolder(const std::string& path, bool parents) {
  if (CreateDirectoryW(widen(path).c_str(), nullptr)) return {};
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return {};
  if (parents && error == ERROR_PATH_NOT_FOUND) {
    const std::string parent = hostParent(path);
    if (!parent.empty() && parent != path && makeHostFolder(parent, true)) {
      if (CreateDirectoryW(widen(path).c_str(), nullptr)) return {};
      error = GetLastError();
    }
  }
  return Status::failure("cannot create the folder " + path + ": " +
                         pm::win32::errorMessage(error));
}

void removeHostFile(const std::string& path) {
  DeleteFileW(widen(path).c_str());
}

std::string currentHostFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(n, L'\0');
  folder.resize(GetCurrentDirectoryW(n, folder.data()));
  return pm::win32::narrow(folder);
}

Result<NewFile> createTemporaryIn(const std::string& folder) {
  const auto stage = staging().in(folder);
  if (!stage) return stage.status();
  if (auto made = staging().ahead.take(stage.value())) return *std::move(made);
  std::string path = staging().ahead.nextName(stage.value());
  const HANDLE h = createMemberFile(path);
  if (h == INVALID_HANDLE_VALUE)
    return Status::failure("cannot create a file in " + folder + ": " +
                           pm::win32::errorMessage(GetLastError()));
  return NewFile{std::move(path), reinterpret_cast<std::intptr_t>(h)};
}

void closeMemberLater(HANDLE file) {
  staging().ahead.closeLater(file);
}

void closeMembersNow() {
  staging().ahead.closeNow();
}

void markExecutable(const std::string&) {}

bool setLocalModificationTime(std::intptr_t file, DateTime t) {
  FILETIME ft;
  return pm::win32::fileTimeFromLocal(t, ft) &&
         SetFileTime(reinterpret_cast<HANDLE>(file), nullptr, &ft, &ft) != 0;
}

Status moveInto(const std::string& from, const std::string& to, bool replace, bool& taken,
                std::intptr_t open) {
  taken = false;
  DWORD error = 0;
  if (open != -1) {
    // Through the open handle: one call, and nobody can have put another file
    // under the temporary name meanwhile.
    const HANDLE file = reinterpret_cast<HANDLE>(open);
    if (renameOpenFile(file, widen(to), replace)) return {};
    error = GetLastError();
    // The file it replaces may be an earlier member of the same name, still
    // open until it is closed on the other thread.
    if (replace && error == ERROR_ACCESS_DENIED && staging().ahead.closeNow()) {
      if (renameOpenFile(file, widen(to), replace)) return {};
      error = GetLastError();
    }
    FILE_DISPOSITION_INFO gone{TRUE};  // removed when it is closed
    SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone);
  } else if (MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                         replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
    // No MOVEFILE_WRITE_THROUGH: a new cabinet is flushed before it is moved
    // (Wine warns on every such call).
    return {};
  } else {
    error = GetLastError();
  }
  taken = !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
  return Status::failure("cannot move it into place: " + pm::win32::errorMessage(error));
}

}  // namespace pm::cabarc
