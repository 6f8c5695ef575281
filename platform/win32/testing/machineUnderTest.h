// The machine the install-logic tests run on, as the Windows build chooses it:
// the real file system and the real registry API over a private registry root.
// For the life of the test, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this
// process are keys under a fresh temporary key (RegOverridePredefKey), removed
// at the end, so a test never touches the user's own keys. The tests name their
// files by Windows paths on drive C:, which under Wine is the test program's
// own fresh prefix (scripts/wine-run); the suites on this machine run each case
// in a prefix of its own (pm_add_test EACH_CASE), as what a case leaves on C:
// stays there.
//
// Wine has no Access driver: there the host's SQLite ODBC driver of the
// program's width stands in for it, reached through odbc32.dll (which hands
// every call to the host's unixODBC). A data source registered in
// HKEY_CURRENT_USER\Software\ODBC\ODBC.INI with a DBQ opens that database
// file through it, as on Linux (platform/posix/odbcDataSources.h).
#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/datasources.h"
#include "platform/ddeLinks.h"
#include "platform/win32/odbc32.h"
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

// The host (Linux) path of a Windows path under Wine; empty elsewhere.
inline std::string wineHostPath(const std::filesystem::path& path) {
  return win32::wineHostPath(win32::narrow(path.wstring()));
}

// The host's SQLite ODBC driver of this program's width.
inline std::string sqliteDriver() {
  return sizeof(void*) == 8 ? "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"
                            : "/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so";
}

inline std::unique_ptr<DataSession> openSqliteFile(const std::filesystem::path& file,
                                                   const char* options = "") {
  return win32::connectOdbc32("Driver=" + sqliteDriver() + ";Database=" + wineHostPath(file) + ";" +
                              options);
}

// "DSN=name;..." of a registered data source with a DBQ opens that file with
// the SQLite driver (never making it); any other connection string goes to the
// driver manager as it is.
class RegisteredSqliteSources : public DataSources {
 public:
  explicit RegisteredSqliteSources(RegistryStore& registry) : registry_(registry) {}
  Status prepare() override { return {}; }
  std::unique_ptr<DataSession> connect(const std::string& connectionString) override {
    if (connectionString.starts_with("DSN=")) {
      const std::string name = connectionString.substr(4, connectionString.find(';') - 4);
      auto listed = registry_.readValue(RootKey::CurrentUser, kOdbcDataSourcesKey, name);
      auto dbq =
          registry_.readValue(RootKey::CurrentUser, std::string(kOdbcIniKey) + "\\" + name, "DBQ");
      if (listed && *listed && dbq && *dbq)
        return openSqliteFile(std::filesystem::path(win32::widen((*dbq)->text)), "NoCreat=1;");
    }
    return win32::connectOdbc32(connectionString);
  }

 private:
  RegistryStore& registry_;
};

struct MachineUnderTest {
  // The machine's Windows paths are the host's own.
  std::filesystem::path host(const std::string& windowsPath) const {
    return std::filesystem::path(win32::widen(windowsPath));
  }
  // The real registry cannot be made unreadable for a test: empty.
  std::filesystem::path spoilRegistry() { return {}; }
  // Windows has no Program Manager of ours: the system's answers, through
  // DDEML (win32_dde_tests), or the shell's link objects (win32_tests).
  std::unique_ptr<DdeServer> ownProgramManager() const { return nullptr; }
  std::vector<std::string> groupItems(const std::string&) const { return {}; }

  // Only under Wine, with the host's driver of this width installed.
  static bool hasSqliteDriver() {
    return !wineHostPath(L"C:\\").empty() &&
           std::filesystem::exists(std::filesystem::path(L"Z:" + win32::widen(sqliteDriver())));
  }
  static std::unique_ptr<DataSession> openSqlite(const std::filesystem::path& file) {
    return openSqliteFile(file);
  }

  PrivateRegistryRoot registryRoot;
  win32::Win32FileSystem fs;
  win32::Win32RegistryStore registryStore;
  // The data sources registered in registryStore.
  RegisteredSqliteSources registeredSources{registryStore};
};

// The machine's own file system, for a test to change one answer of it.
struct MachineFileSystem : win32::Win32FileSystem {
  explicit MachineFileSystem(const MachineUnderTest&) {}
};

}  // namespace pm::testing
