// ODBC data sources: what the driver manager needs before a connection opens.
//
// On Windows the driver manager reads the per-user data sources from the
// registry itself and prepare() has nothing to do. On this platform it derives a
// unixODBC user odbc.ini from the data sources registered in the registry store
// (HKEY_CURRENT_USER\Software\ODBC\ODBC.INI) and points ODBCINI at it, so that a
// connection string "DSN=..." finds exactly what the registry holds.
#pragma once

#include "platform/result.h"

namespace pm {

// Where the registry keeps the per-user data sources, and the list of them
// (value: data-source name, data: driver name).
inline constexpr const char* kOdbcIniKey = "Software\\ODBC\\ODBC.INI";
inline constexpr const char* kOdbcDataSourcesKey = "Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
// The driver name under which the Access data sources are listed.
inline constexpr const char* kAccessDriverName = "Microsoft Access Driver (*.mdb)";

class DataSources {
 public:
  virtual ~DataSources() = default;
  // Makes the registered data sources visible to the driver manager. Called
  // before every connection is opened.
  virtual Status prepare() = 0;
};

}  // namespace pm
