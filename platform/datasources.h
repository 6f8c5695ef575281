// Data access: the ODBC data sources of the machine and connections to them.
//
// prepare() makes the registered data sources visible to the driver manager.
// On Windows the driver manager reads the per-user data sources from the
// registry itself and prepare() has nothing to do. On Linux it derives a
// unixODBC user odbc.ini from the data sources registered in the registry store
// (HKEY_CURRENT_USER\Software\ODBC\ODBC.INI) and points ODBCINI at it, so that a
// connection string "DSN=..." finds exactly what the registry holds.
//
// connect() opens a connection through the platform's driver manager (unixODBC
// on Linux, odbc32.dll on Windows). Text is UTF-8 on both sides of the
// interface. Every failure of a connection raises pm::Error: the driver's or
// driver manager's message with its SQLSTATE as the description, the component
// that raised it (the bracketed prefixes of the message, or the driver's name)
// as the source, and the native code as the number (E_FAIL when there is none).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

namespace pm {

// Where the registry keeps the per-user data sources, and the list of them
// (value: data-source name, data: driver name).
inline constexpr const char* kOdbcIniKey = "Software\\ODBC\\ODBC.INI";
inline constexpr const char* kOdbcDataSourcesKey = "Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
// The driver name under which the Access data sources are listed.
inline constexpr const char* kAccessDriverName = "Microsoft Access Driver (*.mdb)";

// The number a data-access failure carries when the driver gives no native
// code: E_FAIL, what the data-access component reports on Windows in that case.
inline constexpr long kUnspecifiedFailure = static_cast<std::int32_t>(0x80004005u);

// The rows of one statement, as text (nullopt for NULL).
struct Rows {
  std::vector<std::string> columns;
  std::vector<std::vector<std::optional<std::string>>> values;
};

// One open connection; closed when it goes.
class DataSession {
 public:
  virtual ~DataSession() = default;
  // Runs a statement, with `parameters` bound as text to its "?" markers in
  // order, and reads every row it returns (none for a statement that returns
  // no rows, or an update that touched none).
  virtual Rows execute(const std::string& statement,
                       const std::vector<std::string>& parameters) = 0;
  // Off: the statements from now on form one transaction until endTransaction.
  virtual void setAutocommit(bool on) = 0;
  // Commits (or rolls back) the statements since autocommit went off.
  virtual void endTransaction(bool commit) = 0;
};

class DataSources {
 public:
  virtual ~DataSources() = default;
  // Makes the registered data sources visible to the driver manager. Called
  // before every connection is opened.
  virtual Status prepare() = 0;
  // Opens a connection with an ODBC connection string ("DSN=...;"), never
  // prompting. Raises pm::Error.
  virtual std::unique_ptr<DataSession> connect(const std::string& connectionString) = 0;
};

// The error of one diagnostic record: `message` as the driver manager gives it
// ("[vendor][component]text"), its SQLSTATE and native code. `fallbackSource`
// names the component when the message carries no bracketed prefix.
Error driverError(const std::string& message, const std::string& sqlState, long native,
                  const std::string& fallbackSource);

}  // namespace pm
