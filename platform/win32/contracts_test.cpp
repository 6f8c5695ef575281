// The platform contracts (platform/contract) for the Win32 services, run under
// Wine in a fresh prefix: drive C: and the registry are the prefix's own.
#include <windows.h>
// after windows.h, whose types they use
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/contract/fileSystemContract.h"
#include "platform/contract/installLockContract.h"
#include "platform/contract/registryContract.h"
#include "platform/win32/wideText.h"
#include "platform/win32/win32FileSystem.h"
#include "platform/win32/win32InstallLock.h"
#include "platform/win32/win32RegistryStore.h"

namespace pm::contract {
namespace {

// A handle of this process counts as much as another program's: sharing is
// checked between handles.
struct HeldOpen {
  explicit HeldOpen(const std::string& path)
      : handle(CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr)) {}
  ~HeldOpen() { CloseHandle(handle); }
  HANDLE handle;
};

// Under Wine: runs a host program and waits until `done` holds (Wine's handle
// of a host program is signalled at once, not when it ends).
template <typename Done>
bool runOnHost(std::string line, Done done) {
  std::wstring wide = win32::widen(line);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int i = 0; i < 250 && !done(); ++i) Sleep(20);
  return done();
}

struct Win32FsEnv {
  static constexpr bool kWindows = true;
  win32::Win32FileSystem fs;
  std::string cwd = fs.workingFolder();
  std::vector<std::string> links;
  ~Win32FsEnv() {
    fs.setWorkingFolder(cwd);
    // Links first, as links: Wine cannot remove a host link itself.
    for (const std::string& link : links) {
      if (!underWine()) RemoveDirectoryW(win32::widen(link).c_str());
      if (underWine())
        runOnHost("/bin/rm -f \"" + win32::wineHostPath(link) + "\"",
                  [&] { return !fs.isLink(link); });
    }
    fs.deleteFolder("C:\\ct", true);
  }
  static bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  }
  void makeReadOnly(const std::string& path) {
    SetFileAttributesW(win32::widen(path).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  std::unique_ptr<HeldOpen> holdOpen(const std::string& path) {
    return std::make_unique<HeldOpen>(path);
  }
  // Windows: a symbolic link (where this account may make one). Wine cannot
  // make one, but shows a host symbolic link to a folder as a reparse point:
  // "ln -s" makes it. A host link to a file it shows as a plain file, and
  // deleting that deletes the file it points to, so none is made there.
  bool makeLink(const std::string& link, const std::string& target, bool folder) {
    links.push_back(link);
    if (!underWine()) {
      const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
      return CreateSymbolicLinkW(win32::widen(link).c_str(), win32::widen(target).c_str(), flags) &&
             fs.isLink(link);
    }
    if (!folder) return false;
    return runOnHost(
        "/bin/ln -s \"" + win32::wineHostPath(target) + "\" \"" + win32::wineHostPath(link) + "\"",
        [&] { return fs.isLink(link); });
  }
  // Wine cannot remove a host link: it follows it.
  static bool removesLinks() { return !underWine(); }
};

struct Win32LockEnv : Win32FsEnv {
  Win32LockEnv() { EXPECT_TRUE(fs.createFolder("C:\\ct").ok()); }
  std::unique_ptr<InstallLock> makeLock() { return std::make_unique<win32::Win32InstallLock>(); }
  // A thread takes the lock and ends holding it: the system abandons the
  // mutex of a thread that ends, as it does when a process is killed.
  void holdAndEnd() {
    std::thread([] {
      auto* held = new win32::Win32InstallLock;
      EXPECT_TRUE(held->acquire().ok());
    }).join();
  }
  static std::wstring folder(int csidl) {
    wchar_t base[MAX_PATH];
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base);
    return std::wstring(base) + L"\\Korrimel Software\\PMSetup";
  }
  // The record, and the per-user list that earlier versions read (any
  // process of the user may write it).
  void forgeRecord(const std::string& text) {
    win32::Win32InstallLock().acquire();  // makes the record's folder as it makes it
    const std::wstring user = folder(CSIDL_LOCAL_APPDATA);
    SHCreateDirectoryExW(nullptr, user.c_str(), nullptr);
    for (const std::wstring& f : {user, folder(CSIDL_COMMON_APPDATA)}) {
      const HANDLE h = CreateFileW((f + L"\\PMSetup.leftovers").c_str(), FILE_APPEND_DATA, 0,
                                   nullptr, OPEN_ALWAYS, 0, nullptr);
      DWORD put = 0;
      EXPECT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr));
      CloseHandle(h);
    }
  }
  static std::string recordName(const std::string& path) { return path; }
  // Wine shows no rights it was given: a folder's owner is the user, its
  // rights come from the host's mode bits.
  static bool showsRights() { return !underWine(); }
  // The users get full control of the record's folder, or lose it again.
  static void distrustRecord(bool others) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        others ? L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)"
               : L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
        SDDL_REVISION_1, &sd, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    std::wstring name = folder(CSIDL_COMMON_APPDATA);
    EXPECT_EQ(SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, dacl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(sd);
  }
};

// The keys the registry contract writes, removed after each case.
struct Win32RegistryEnv {
  win32::Win32RegistryStore store;
  ~Win32RegistryEnv() {
    for (const wchar_t* key : {L"Software\\Korrimel Software", L"Software\\ODBC\\ODBC.INI",
                               L"Software\\Odd [key] \"q\"", L"Software\\Empty", L"Software\\A"})
      RegDeleteTreeW(HKEY_CURRENT_USER, key);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Pelmora.Document");
  }
};

struct Names {
  template <typename T>
  static std::string GetName(int) {
    return "Win32";
  }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, FileSystemContract, ::testing::Types<Win32FsEnv>, Names);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, InstallLockContract, ::testing::Types<Win32LockEnv>, Names);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, RegistryContract, ::testing::Types<Win32RegistryEnv>,
                               Names);

}  // namespace
}  // namespace pm::contract
