// The machine the install-logic tests run on, as the Windows build chooses it:
// the real file system and the real registry API over a private registry root.
// For the life of the test, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this
// process are keys under a fresh temporary key (RegOverridePredefKey), removed
// at the end, so a test never touches the user's own keys. The tests name their
// files by Windows paths on drive C:, which under Wine is the test program's
// own fresh prefix (scripts/wine-run); the cases of one program share it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/win32/wideText.h"
#include "platform/win32/win32FileSystem.h"
#include "platform/win32/win32RegistryStore.h"

namespace pm::testing {

class PrivateRegistryRoot {
 public:
  PrivateRegistryRoot() {
    std::random_device random;
    name_ = L"Software\\PMSetup tests\\" + std::to_wstring(random()) + std::to_wstring(random());
    // Both keys are made under the real HKEY_CURRENT_USER before either override.
    if (!create(L"\\HKCU", currentUser_) || !create(L"\\HKCR", classesRoot_) ||
        RegOverridePredefKey(HKEY_CURRENT_USER, currentUser_) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CLASSES_ROOT, classesRoot_) != ERROR_SUCCESS) {
      throw std::runtime_error("the private registry root could not be made");
    }
  }
  ~PrivateRegistryRoot() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (currentUser_) RegCloseKey(currentUser_);
    if (classesRoot_) RegCloseKey(classesRoot_);
    RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
  }
  PrivateRegistryRoot(const PrivateRegistryRoot&) = delete;
  PrivateRegistryRoot& operator=(const PrivateRegistryRoot&) = delete;

 private:
  bool create(const wchar_t* suffix, HKEY& key) {
    const std::wstring path = name_ + suffix;
    return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &key, nullptr) == ERROR_SUCCESS;
  }

  std::wstring name_;
  HKEY currentUser_ = nullptr;
  HKEY classesRoot_ = nullptr;
};

struct MachineUnderTest {
  // The machine's Windows paths are the host's own.
  std::filesystem::path host(const std::string& windowsPath) const {
    return std::filesystem::path(win32::widen(windowsPath));
  }
  // The real registry cannot be made unreadable for a test.
  bool spoilRegistry() { return false; }

  PrivateRegistryRoot registryRoot;
  win32::Win32FileSystem fs;
  win32::Win32RegistryStore registryStore;
};

}  // namespace pm::testing
