#include "platform/posix/odbcDataSources.h"

#include <dlfcn.h>
#include <odbcinst.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>
#include "platform/posix/temporaryFiles.h"
#include "platform/posix/unixOdbc.h"
#include "platform/text.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

constexpr const char* kAccessDriverFile = "odbcjt32.dll";
// The installer's own data source, looked for by name where the registry
// store cannot list the entries of "ODBC Data Sources".
constexpr const char* kInstallerDataSource = "Dorvane";
constexpr const char* kDriverFile = "libsqlite3odbc.so";

bool endsWithIgnoreCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         toLower(text.substr(text.size() - tail.size())) == toLower(tail);
}

// A text that an odbc.ini line can carry unchanged: no line break, no NUL, and
// no blanks at its ends (the ini reader trims them).
bool fitsIniLine(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos && s == trim(s, " \t\r\n");
}

bool isFile(const fs::path& p) {
  std::error_code ec;
  return !p.empty() && fs::is_regular_file(p, ec);
}

// The folder that holds the driver manager's configuration library.
fs::path driverManagerFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&SQLWritePrivateProfileString), &info) && info.dli_fname) {
    std::error_code ec;
    const fs::path lib = fs::canonical(info.dli_fname, ec);
    if (!ec) return lib.parent_path();
  }
  return {};
}

// Driver libraries that the system's odbcinst.ini names for SQLite 3.
std::vector<std::string> driversNamedBySystem() {
  std::vector<std::string> names;
  std::ifstream in("/etc/odbcinst.ini");
  std::string line;
  while (std::getline(in, line)) {
    line = trim(line, " \t\r\n");
    const auto eq = line.find('=');
    if (eq == std::string::npos || toLower(trim(line.substr(0, eq))) != "driver") continue;
    const std::string value = trim(line.substr(eq + 1), " \t\r\n");
    if (toLower(value).find("sqlite3odbc") != std::string::npos) names.push_back(value);
  }
  return names;
}

std::string readWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

OdbcDataSources::OdbcDataSources(Machine machine, RegistryStore& registry, fs::path driver)
    : machine_(std::move(machine)), registry_(registry), driver_(std::move(driver)) {}

fs::path OdbcDataSources::findSqliteDriver() {
  std::vector<fs::path> candidates;
  const fs::path managerFolder = driverManagerFolder();
  if (!managerFolder.empty()) candidates.push_back(managerFolder / "odbc" / kDriverFile);
  for (const std::string& named : driversNamedBySystem()) {
    const fs::path p(named);
    if (p.is_absolute()) {
      candidates.push_back(p);
    } else if (!managerFolder.empty()) {
      candidates.push_back(managerFolder / "odbc" / p);
      candidates.push_back(managerFolder / p);
    }
  }
  std::error_code ec;
  for (const fs::path& root : {fs::path("/usr/lib"), fs::path("/usr/local/lib")}) {
    candidates.push_back(root / "odbc" / kDriverFile);
    for (const auto& entry : fs::directory_iterator(root, ec)) {
      candidates.push_back(entry.path() / "odbc" / kDriverFile);
    }
  }
  for (const fs::path& c : candidates) {
    if (isFile(c)) return c;
  }
  return {};
}

Result<std::string> OdbcDataSources::deriveIni() {
  const RootKey hkcu = RootKey::CurrentUser;
  std::vector<std::string> names;
  auto listed = registry_.valueNames(hkcu, kOdbcDataSourcesKey);
  if (listed) {
    names = listed.value();
  } else {
    names.push_back(kInstallerDataSource);
  }

  std::string ini =
      "# The ODBC data sources of HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI, for unixODBC.\n"
      "# Derived from the registry before every connection; changes made here are lost.\n";
  for (const std::string& name : names) {
    if (name.empty() || !fitsIniLine(name) || name.find_first_of("[]=") != std::string::npos) {
      continue;
    }
    auto driverName = registry_.readValue(hkcu, kOdbcDataSourcesKey, name);
    if (!driverName) return driverName.status();
    const std::string key = std::string(kOdbcIniKey) + "\\" + name;
    auto exists = registry_.keyExists(hkcu, key);
    if (!exists) return exists.status();
    if (!exists.value()) continue;
    auto driver = registry_.readValue(hkcu, key, "Driver");
    if (!driver) return driver.status();
    auto dbq = registry_.readValue(hkcu, key, "DBQ");
    if (!dbq) return dbq.status();

    const bool listedAsAccess = driverName->has_value() &&
                                (*driverName)->type == ValueType::String &&
                                toLower(trim((*driverName)->text)) == toLower(kAccessDriverName);
    const bool accessDriverFile = driver->has_value() && (*driver)->type == ValueType::String &&
                                  endsWithIgnoreCase(trim((*driver)->text), kAccessDriverFile);
    if (!listedAsAccess && !accessDriverFile) continue;
    if (!dbq->has_value() || (*dbq)->type != ValueType::String || (*dbq)->text.empty()) continue;

    if (driver_.empty()) driver_ = findSqliteDriver();
    if (driver_.empty()) {
      return Status::failure(std::string("the SQLite ODBC driver (") + kDriverFile +
                             ") is not installed");
    }
    const std::string database = machine_.toHost((*dbq)->text).string();
    if (!fitsIniLine(database)) continue;
    ini += "\n[" + name + "]\n";
    ini += "Description=" + std::string(kAccessDriverName) + " (SQLite)\n";
    ini += "Driver=" + driver_.string() + "\n";
    ini += "Database=" + database + "\n";
    ini += "NoCreat=1\n";
  }
  return ini;
}

Status OdbcDataSources::prepare() {
  auto ini = deriveIni();
  if (!ini) return ini.status();

  std::error_code ec;
  fs::create_directories(systemFolder(), ec);
  if (ec) return Status::failure("cannot create " + systemFolder().string() + ": " + ec.message());
  if (!isFile(iniFile()) || readWhole(iniFile()) != ini.value()) {
    if (Status written = writeFileAtomically(machine_, iniFile(), ini.value()); !written)
      return written;
  }
  ::setenv("ODBCINI", iniFile().c_str(), 1);
  ::setenv("ODBCSYSINI", systemFolder().c_str(), 1);

  // The driver manager keeps what it read from odbc.ini for a while; a write
  // through its own configuration functions empties that memory, so the next
  // connection reads the file as it is now. The write goes to a file of its own.
  const fs::path refresh = machine_.root() / "odbc" / "refresh.ini";
  SQLWritePrivateProfileString("PMSetup", "Refreshed", "1", refresh.c_str());
  return {};
}

std::unique_ptr<DataSession> OdbcDataSources::connect(const std::string& connectionString) {
  return connectUnixOdbc(connectionString);
}

}  // namespace pm::posix
