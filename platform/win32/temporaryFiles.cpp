#include "platform/win32/temporaryFiles.h"

#include <shlobj.h>

#include <mutex>
#include <random>
#include <set>
#include <string_view>

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

// "%LOCALAPPDATA%\Korrimel Software\PMSetup\PMSetup.leftovers", its folders
// made on the way; empty when the profile has no local application data.
std::wstring leftoverList() {
  wchar_t base[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, base)))
    return {};
  std::wstring folder = std::wstring(base) + L"\\Korrimel Software";
  CreateDirectoryW(folder.c_str(), nullptr);
  folder += L"\\PMSetup";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\PMSetup.leftovers";
}

// Appends one line to the list, on disk before the caller goes on.
void note(const std::wstring& line) {
  const std::wstring list = leftoverList();
  if (list.empty()) return;
  const HANDLE h = CreateFileW(list.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const std::string text = narrow(line) + "\r\n";
  DWORD put = 0;
  if (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr))
    FlushFileBuffers(h);
  CloseHandle(h);
}

// The folders noted since the list was last swept away.
std::mutex notedMutex;
std::set<std::wstring> noted;

// Notes each folder once while it is on the list.
void noteFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(notedMutex);
  if (noted.insert(folder).second) note(L"F " + folder);
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
  static std::mutex mutex;
  static std::random_device device;  // the system's cryptographic generator (rand_s)
  std::lock_guard<std::mutex> lock(mutex);
  std::wstring out;
  for (std::size_t i = 0; i < length; ++i) out += kAlphabet[device() % 62];
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
  note(L"D " + folder);
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

void sweepLeftovers() {
  const std::wstring list = leftoverList();
  if (list.empty()) return;
  const HANDLE h = CreateFileW(list.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 3 || line[1] != ' ') continue;
    const std::wstring place = widen(std::string_view(line).substr(2));
    if (line[0] == 'F') {
      removeTemporaryFiles(place);
    } else if (line[0] == 'D') {
      // Only a real folder under one of our names: a link, or a folder that
      // took the name meanwhile and is named otherwise, is left alone.
      const DWORD a = GetFileAttributesW(place.c_str());
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
          !(a & FILE_ATTRIBUTE_REPARSE_POINT) && endsInRandom(nameOf(place), kFolderRandomLength) &&
          nameOf(place).size() > kFolderRandomLength &&
          nameOf(place)[nameOf(place).size() - kFolderRandomLength - 1] == L'-')
        (void)removeFolderTree(place, true);
    }
  }
  DeleteFileW(list.c_str());
  std::lock_guard<std::mutex> lock(notedMutex);
  noted.clear();
}

}  // namespace pm::win32
