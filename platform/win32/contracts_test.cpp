// The platform contracts (platform/contract) for the Win32 services, run under
// Wine in a fresh prefix: drive C: and the registry are the prefix's own.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/contract/fileSystemContract.h"
#include "platform/contract/registryContract.h"
#include "platform/win32/wideText.h"
#include "platform/win32/win32FileSystem.h"
#include "platform/win32/win32RegistryStore.h"

namespace pm::contract {
namespace {

struct Win32FsEnv {
  static constexpr bool kWindows = true;
  win32::Win32FileSystem fs;
  std::string cwd = fs.workingFolder();
  ~Win32FsEnv() {
    fs.setWorkingFolder(cwd);
    fs.deleteFolder("C:\\ct", true);
  }
  static bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  }
  void makeReadOnly(const std::string& path) {
    SetFileAttributesW(win32::widen(path).c_str(), FILE_ATTRIBUTE_READONLY);
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
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, RegistryContract, ::testing::Types<Win32RegistryEnv>,
                               Names);

}  // namespace
}  // namespace pm::contract
