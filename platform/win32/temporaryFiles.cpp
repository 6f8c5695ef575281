#include "platform/win32/temporaryFiles.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <mutex>
#include <random>
#include <set>
#include <string_view>

#include "platform/leftoverRecord.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

constexpr std::wstring_view kMarker = L".pmtmp-";
constexpr std::size_t kRandomLength = 6;

bool isAlphanumeric(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool endsInRandom(std::wstring_view name, std::size_t length) {
  if (name.size() < length) return false;
  for (wchar_t c : name.substr(name.size() - length))
    if (!isAlphanumeric(c)) return false;
  return true;
}

std::wstring folderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}

std::wstring nameOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// True when `sid` is the well-known SID of `type`.
bool isSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return sid && IsValidSid(sid) && IsWellKnownSid(sid, type);
}

// True when only the administrators and the system can change the object of
// `handle`: one of them owns it, and its rights let nobody else write, delete,
// add, or change the rights themselves (inherited rights included).
bool onlyAdministratorsWrite(HANDLE handle) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                    FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  const auto administrative = [](PSID sid) {
    return isSid(sid, WinBuiltinAdministratorsSid) || isSid(sid, WinLocalSystemSid);
  };
  bool trusted = administrative(owner) && dacl != nullptr;  // no list of rights: all may
  for (DWORD i = 0; trusted && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) {
      trusted = false;
    } else if (static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      if ((allowed->Mask & kChanging) && !administrative(&allowed->SidStart)) trusted = false;
    } else if (static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_DENIED_ACE_TYPE) {
      trusted = false;  // conditional and object rights: not ours to weigh
    }
  }
  LocalFree(descriptor);
  return trusted;
}

// The folder of the leftovers record, "%ProgramData%\Korrimel Software\PMSetup",
// made (owned by the administrators, rights for them and the system only) when
// missing, and held open while the record is used: it can then be neither
// renamed nor replaced. Not opened (the record is then neither read nor
// written) unless it is a real folder that only the administrators and the
// system can change: a folder of that name made by anyone else is left alone.
class RecordFolder {
 public:
  RecordFolder() {
    wchar_t base[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
      return;
    std::wstring folder = std::wstring(base) + L"\\Korrimel Software";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\PMSetup";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
      SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
      CreateDirectoryW(folder.c_str(), &attributes);
      LocalFree(descriptor);
    }
    handle_ = CreateFileW(folder.c_str(), READ_CONTROL | FILE_LIST_DIRECTORY,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle_ != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle_, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && onlyAdministratorsWrite(handle_))
      record_ = folder + L"\\PMSetup.leftovers";
  }
  ~RecordFolder() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  RecordFolder(const RecordFolder&) = delete;
  RecordFolder& operator=(const RecordFolder&) = delete;

  // The record's path; empty when the folder cannot be trusted.
  const std::wstring& record() const { return record_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::wstring record_;
};

// Appends one entry to the record, on disk before the caller goes on.
void note(const LeftoverEntry& entry) {
  if (recordLeftAlone()) return;
  const RecordFolder folder;
  if (folder.record().empty()) return;
  const HANDLE h = CreateFileW(folder.record().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const std::string text = leftoverLine(entry) + "\n";
  DWORD put = 0;
  if (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr))
    FlushFileBuffers(h);
  CloseHandle(h);
}

// The system's cryptographic generator (rand_s), for names and owner tokens.
std::mutex randomMutex;
std::random_device randomDevice;

// The folders noted since the list was last swept away.
std::mutex notedMutex;
std::set<std::wstring> noted;

// Notes each folder once while it is on the list.
void noteFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(notedMutex);
  if (noted.insert(folder).second) note({'F', narrow(folder), {}});
}

// Removes our temporary files (and links planted under such names) directly in `folder`.
void removeTemporaryFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !isTemporaryFileName(found.cFileName))
      continue;
    const std::wstring path = folder + L"\\" + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  } while (FindNextFileW(h, &found));
  FindClose(h);
}

}  // namespace

bool isTemporaryFileName(const std::wstring& name) {
  const std::size_t at = name.rfind(kMarker);
  return name.size() > 1 && name[0] == L'.' && at != std::wstring::npos && at > 1 &&
         name.size() == at + kMarker.size() + kRandomLength && endsInRandom(name, kRandomLength);
}

std::wstring randomEnding(std::size_t length) {
  static constexpr wchar_t kAlphabet[] =
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::lock_guard<std::mutex> lock(randomMutex);
  std::wstring out;
  for (std::size_t i = 0; i < length; ++i) out += kAlphabet[randomDevice() % 62];
  return out;
}

TemporaryFile::TemporaryFile(const std::wstring& target) : target_(target) {
  const std::wstring folder = folderOf(target);
  noteFolder(folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate =
        folder + L"\\." + nameOf(target) + std::wstring(kMarker) + randomEnding(kRandomLength);
    handle_ = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ != INVALID_HANDLE_VALUE) {
      path_ = candidate;
      return;
    }
    error_ = GetLastError();
    if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) return;
  }
}

TemporaryFile::~TemporaryFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  if (!path_.empty() && !committed_) {
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path_.c_str());
  }
}

bool TemporaryFile::commit(DWORD attributes, bool replace) {
  if (!FlushFileBuffers(handle_)) return false;
  const HANDLE h = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  if (!CloseHandle(h)) return false;
  if (attributes && !SetFileAttributesW(path_.c_str(), attributes)) return false;
  if (!MoveFileExW(path_.c_str(), target_.c_str(),
                   MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0)))
    return false;
  committed_ = true;
  return true;
}

void noteOwnTemporaryFolder(const std::wstring& folder) {
  unsigned char random[16];
  {
    std::lock_guard<std::mutex> lock(randomMutex);
    for (unsigned char& byte : random) byte = static_cast<unsigned char>(randomDevice());
  }
  const std::string token = ownerToken(random);
  if (CreateDirectoryW((folder + L"\\" + widen(ownerMarkName(token))).c_str(), nullptr))
    note({'D', narrow(folder), token});
}

Status removeFolderTree(const std::wstring& folder, bool force) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE)
    return Status::failure("cannot list " + narrow(folder) + ": " + errorMessage(GetLastError()));
  Status result;
  const auto failed = [&](const std::wstring& path) {
    if (result)
      result =
          Status::failure("cannot delete " + narrow(path) + ": " + errorMessage(GetLastError()));
  };
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const DWORD a = found.dwFileAttributes;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link goes as a link; what it leads to is not ours.
      if (!((a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                           : DeleteFileW(path.c_str())))
        failed(path);
    } else if (a & FILE_ATTRIBUTE_DIRECTORY) {
      if (Status s = removeFolderTree(path, force); !s && result) result = s;
    } else {
      if (!force && (a & FILE_ATTRIBUTE_READONLY)) {
        if (result)
          result = Status::failure("cannot delete " + narrow(path) + ": " +
                                   errorMessage(ERROR_ACCESS_DENIED));
        continue;
      }
      if (a & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
      if (!DeleteFileW(path.c_str())) failed(path);
    }
  } while (FindNextFileW(h, &found));
  FindClose(h);
  if (!result) return result;
  if (!RemoveDirectoryW(folder.c_str())) failed(folder);
  return result;
}

namespace {

// True when `place` is a folder that a run of ours made: a real folder (no
// link), named as we name them ("PMUpTemp-Ab12Cd34"), that holds the owner
// mark its entry names.
bool provablyOurs(const std::wstring& place, const std::string& token) {
  const std::wstring name = nameOf(place);
  if (name.size() <= kFolderRandomLength || name[name.size() - kFolderRandomLength - 1] != L'-' ||
      !endsInRandom(name, kFolderRandomLength))
    return false;
  for (const std::wstring& path : {place, place + L"\\" + widen(ownerMarkName(token))}) {
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) ||
        (a & FILE_ATTRIBUTE_REPARSE_POINT))
      return false;
  }
  return true;
}

// Removes a folder of ours with all it holds. It is held open meanwhile, so it
// cannot be swapped for a link to somewhere else; the empty folder goes last.
void removeOwnFolder(const std::wstring& place) {
  const HANDLE pinned = CreateFileW(
      place.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (pinned == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool real = GetFileInformationByHandle(pinned, &info) &&
                    !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (real) (void)removeFolderTree(place, true);  // all but the pinned folder itself
  CloseHandle(pinned);
  if (real) RemoveDirectoryW(place.c_str());
}

}  // namespace

void sweepLeftovers() {
  if (recordLeftAlone()) return;
  const RecordFolder folder;
  if (folder.record().empty()) return;
  const HANDLE h = CreateFileW(folder.record().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  for (const LeftoverEntry& entry : parseLeftoverRecord(text)) {
    const std::wstring place = widen(entry.place);
    if (entry.kind == 'F') {
      removeTemporaryFiles(place);
    } else if (provablyOurs(place, entry.token)) {
      removeOwnFolder(place);
    }
  }
  DeleteFileW(folder.record().c_str());
  std::lock_guard<std::mutex> lock(notedMutex);
  noted.clear();
}

}  // namespace pm::win32
