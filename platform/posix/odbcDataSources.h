// The ODBC data sources of the machine, as unixODBC sees them.
//
// On Windows the driver manager reads the per-user data sources straight from
// HKEY_CURRENT_USER\Software\ODBC\ODBC.INI. Here prepare() derives a unixODBC
// user odbc.ini from those same keys before every connection:
//
//   <machine>/odbc/odbc.ini      the data sources, rewritten by prepare()
//   <machine>/odbc/system/       an empty folder for ODBCSYSINI, so that no
//                                system-wide data source or driver leaks in
//
// Every data source named in "ODBC Data Sources" whose own key exists and that
// uses the Access driver (listed as "Microsoft Access Driver (*.mdb)", or whose
// Driver value ends in odbcjt32.dll) becomes a data source of the SQLite ODBC
// driver: Driver = the driver's absolute path, Database = the host path of DBQ,
// NoCreat=1 (a missing database file is an error, never a new empty file).
// Data sources of other drivers, or without a DBQ, are left out: opening them
// fails as it would on a machine without their driver. prepare() points ODBCINI
// and ODBCSYSINI at these files, so `isql Dorvane` with the same ODBCINI reaches
// the same database.
#pragma once

#include <filesystem>
#include <string>

#include "platform/datasources.h"
#include "platform/posix/machine.h"
#include "platform/registry.h"

namespace pm::posix {

class OdbcDataSources : public DataSources {
 public:
  // `driver`: the SQLite ODBC driver library; empty to look it up when needed.
  OdbcDataSources(Machine machine, RegistryStore& registry, std::filesystem::path driver = {});

  Status prepare() override;
  // Through unixODBC (posix/unixOdbc.h).
  std::unique_ptr<DataSession> connect(const std::string& connectionString) override;

  // The odbc.ini text for the data sources registered now. Fails when the
  // registry cannot be read or the SQLite ODBC driver is not installed.
  Result<std::string> deriveIni();

  std::filesystem::path iniFile() const { return machine_.root() / "odbc" / "odbc.ini"; }
  std::filesystem::path systemFolder() const { return machine_.root() / "odbc" / "system"; }

  // The installed SQLite ODBC driver (libsqlite3odbc.so): beside the driver
  // manager's own libraries, then as the system's odbcinst.ini names it, then in
  // the usual library folders. Empty when there is none.
  static std::filesystem::path findSqliteDriver();

 private:
  Machine machine_;
  RegistryStore& registry_;
  std::filesystem::path driver_;
};

}  // namespace pm::posix
