#include "database/dbCheck.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "database/connection.h"
#include "install/basCommon.h"
#include "install/modRegistry.h"
#include "install/registryReporter.h"

namespace pm {
namespace {

constexpr const char* kDataSourceName = "Dorvane";
constexpr const char* kDataSourceRoot = "SOFTWARE\\ODBC\\ODBC.INI\\";

// Failures of the file operations carry the codes the scripting runtime gives
// for them: a file that is not there, or one that cannot be touched.
constexpr const char* kFileSource = "Scripting.FileSystemObject";
constexpr long kFileNotFound = 53;
constexpr long kPermissionDenied = 70;
// The stage's own check that the backup is a true copy (a user-defined error:
// vbObjectError + 1001).
constexpr long kBackupMismatch = -2147221504L + 1001;
// Any other failure inside the stage (vbObjectError + 1000).
constexpr long kUnexpected = -2147221504L + 1000;
constexpr const char* kStageSource = "PMSetup";

// Turns a failed file operation into the error that ends the stage. `path` is
// the file that must exist for the operation to make sense.
void check(const Status& status, FileSystem& fs, const std::string& path) {
  if (status) return;
  throw Error(status.message(), kFileSource,
              fs.fileExists(path) ? kPermissionDenied : kFileNotFound);
}

// True when the backup holds exactly the bytes of the database.
bool identicalCopy(FileSystem& fs, const std::string& original, const std::string& copy) {
  const Result<bool> same = fs.sameContent(original, copy);
  return same && same.value();
}

// An older backup that is not a copy of the database about to be backed up
// holds data that exists nowhere else (the database from before an earlier
// upgrade, say): it keeps its bytes under the first free name
// DorvaneBKUP.1.mdb, DorvaneBKUP.2.mdb, ... and the report names it. Returns
// true when the backup already is a copy of the database.
bool keepOlderBackup(InstallWindow& frm, const std::string& database, const std::string& backup) {
  FileSystem& fs = frm.services().fs;
  if (!fs.fileExists(backup)) return false;
  // One that cannot be read cannot be shown to be a copy: it is kept.
  if (identicalCopy(fs, database, backup)) return true;
  const std::string folder = frm.state().appFolder;
  for (int n = 1; n < 10000; ++n) {
    const std::string name = "DorvaneBKUP." + std::to_string(n) + ".mdb";
    const std::string kept = folder + "\\" + name;
    if (fs.fileExists(kept) || fs.folderExists(kept) || fs.isLink(kept)) continue;
    const Status renamed = fs.renameFile(backup, kept);
    // Taken meanwhile: the next name. Anything else ends the stage.
    if (!renamed && (fs.fileExists(kept) || fs.isLink(kept))) continue;
    check(renamed, fs, backup);
    frm.rept("Older backup kept as " + name + ".");
    return false;
  }
  throw Error("No free name to keep the older backup " + backup + " under", kStageSource,
              kUnexpected);
}

// A key of the data source, opened for writing through the raw registry
// functions. A value the store refuses (or a key it cannot make) gets the
// registry failure line and is recorded; the stage goes on, and the connection
// test after it shows what came of it.
class DataSourceKey {
 public:
  DataSourceKey(RegistryStore& store, RegistryReporter& reporter, std::string path)
      : store_(store), reporter_(reporter), path_(std::move(path)) {
    RegCreateKeyA(store_, RootKey::CurrentUser, path_, key_);
  }
  ~DataSourceKey() { RegCloseKey(key_); }
  DataSourceKey(const DataSourceKey&) = delete;
  DataSourceKey& operator=(const DataSourceKey&) = delete;

  void setString(const std::string& name, const std::string& text) {
    set(name, ValueType::String, text.data(), static_cast<std::uint32_t>(text.size()));
  }
  void setDword(const std::string& name, std::uint32_t value) {
    const unsigned char data[4] = {static_cast<unsigned char>(value & 0xFF),
                                   static_cast<unsigned char>((value >> 8) & 0xFF),
                                   static_cast<unsigned char>((value >> 16) & 0xFF),
                                   static_cast<unsigned char>((value >> 24) & 0xFF)};
    set(name, ValueType::Dword, data, 4);
  }

 private:
  void set(const std::string& name, ValueType type, const void* data, std::uint32_t size) {
    std::string failure;
    const long code = RegSetValueExA(store_, key_, name, 0, type, data, size, &failure);
    if (code != ERROR_SUCCESS_CODE)
      reporter_.failed("written", RootKey::CurrentUser, path_, name,
                       Error(failure, "RegSetValueExA", code));
  }

  RegistryStore& store_;
  RegistryReporter& reporter_;
  std::string path_;
  RegKeyHandle key_;
};

// A value of the data source; one that cannot be read is told, and taken as
// missing, so it is written again.
std::string read(RegistryReporter& reg, const std::string& key, const std::string& name) {
  return reg.read(RootKey::CurrentUser, key, name).value_or("");
}

// The data source of `database`: its own key, its Engines and Jet keys, and the
// list entry. What is there already is kept.
void registerDataSource(InstallWindow& frm, const std::string& database) {
  FileSystem& fs = frm.services().fs;
  RegistryStore& store = frm.services().registryStore;
  RegistryReporter reg(frm, "dbCheck");
  const std::string dsnKey = std::string(kDataSourceRoot) + kDataSourceName;
  const std::string enginesKey = dsnKey + "\\Engines";
  const std::string jetKey = enginesKey + "\\Jet";

  frm.rept("ODBC.INI Registry check");
  const std::string dbq = read(reg, dsnKey, "DBQ");
  const std::string driver = read(reg, dsnKey, "Driver");
  const std::string driverId = read(reg, dsnKey, "DriverID");
  const std::string fil = read(reg, dsnKey, "FIL");
  const std::string safeTransactions = read(reg, dsnKey, "SafeTransactions");
  const std::string uid = read(reg, dsnKey, "UID");
  if (dbq != database || driver.empty() || driverId.empty() || fil.empty() ||
      safeTransactions.empty() || uid.empty()) {
    DataSourceKey key(store, reg, dsnKey);
    key.setString("DBQ", database);
    key.setString("Driver", GetSystemDir(fs) + "odbcjt32.dll");
    key.setDword("DriverID", 25);
    key.setString("FIL", "MS Access;");
    key.setDword("SafeTransactions", 0);
    key.setString("UID", "");
  } else {
    frm.rept("Current ODBC.INI registers set.");
  }
  frm.rept("ODBC Initialization registers complete.");

  if (read(reg, enginesKey, "(Default)").empty()) {
    DataSourceKey key(store, reg, enginesKey);
  } else {
    frm.rept("Current ODBC Engine registers set.");
  }
  frm.rept("ODBC Engine registers complete.");

  const std::string jetDefault = read(reg, jetKey, "(Default)");
  const std::string implicitCommitSync = read(reg, jetKey, "ImplicitCommitSync");
  const std::string maxBufferSize = read(reg, jetKey, "MaxBufferSize");
  const std::string pageTimeout = read(reg, jetKey, "PageTimeout");
  const std::string threads = read(reg, jetKey, "Threads");
  const std::string userCommitSync = read(reg, jetKey, "UserCommitSync");
  if (jetDefault.empty() || implicitCommitSync.empty() || maxBufferSize.empty() ||
      pageTimeout.empty() || threads.empty() || userCommitSync.empty()) {
    DataSourceKey key(store, reg, jetKey);
    key.setString("ImplicitCommitSync", "");
    key.setDword("MaxBufferSize", 2048);
    key.setDword("PageTimeout", 5);
    key.setDword("Threads", 3);
    key.setString("UserCommitSync", "Yes");
  } else {
    frm.rept("ODBC Engines\\Jet registers set.");
  }
  frm.rept("ODBC Engines\\Jet registers complete.");

  if (read(reg, kOdbcDataSourcesKey, kDataSourceName).empty()) {
    reg.write(RootKey::CurrentUser, kOdbcDataSourcesKey, kDataSourceName, kAccessDriverName);
  } else {
    frm.rept("ODBC Data Sources Registers set.");
  }
  frm.rept("ODBC Data Sources registers complete. DSN Complete.");
}

// The first half of the stage: the backup, the blank database from the main
// cabinet, and the registration of the data source. Raises pm::Error.
void installDatabase(InstallWindow& frm) {
  InstallState& st = frm.state();
  FileSystem& fs = frm.services().fs;
  const std::string database = st.appFolder + "\\Dorvane.mdb";
  const std::string backup = st.appFolder + "\\DorvaneBKUP.mdb";
  const std::string blank = st.tempFolder + "\\Dorvane.mdb";

  frm.rept("DATABASE Upgrade Installation");
  frm.showCurrent("Database");

  // The user's database is never deleted, only replaced by the blank one once
  // that is there: a failure anywhere leaves it in place beside its backup.
  if (fs.fileExists(database)) {
    frm.rept("Database exists.  Making backup and overwriting.");
    // A database open in another program could change while it is copied, and
    // Windows would refuse to replace it: nothing is touched.
    if (fs.inUse(database)) {
      throw Error("File in use: " + database +
                      " is open in another program; close it and run the install again",
                  kFileSource, kPermissionDenied);
    }
    if (!keepOlderBackup(frm, database, backup)) {
      check(fs.copyFile(database, backup, true), fs, database);
      if (!identicalCopy(fs, database, backup)) {
        throw Error("The backup " + backup + " is not an identical copy of " + database +
                        "; the database was left in place",
                    kStageSource, kBackupMismatch);
      }
    }
    // A rename would replace a read-only file without a word: the attribute
    // says the database is not to be replaced, as a delete would refuse it.
    if (fs.isReadOnly(database)) {
      throw Error("Cannot replace \"" + fs.absolutePath(database) + "\": the file is read-only",
                  kFileSource, kPermissionDenied);
    }
  } else {
    frm.rept("Database not found, Creating blank database.");
  }

  frm.rept("Extracting database to " + st.tempFolder);
  check(fs.setWorkingFolder(frm.services().installerFolder), fs, frm.services().installerFolder);
  frm.ExecCmd("Cabarc -o X \"" + st.tempFolder + "\\Pelmora.CAB\" Dorvane.mdb \"" + st.tempFolder +
              "\"\\");
  frm.rept("Copying database");
  // Only a blank database that was extracted whole takes the user's place. The
  // copy goes to a temporary name beside it and is renamed over it when it is
  // on disk, so the folder always holds one whole Dorvane.mdb.
  const Result<std::string> extracted = fs.readText(blank);
  check(extracted.status(), fs, blank);
  if (extracted.value().empty()) {
    throw Error("The blank database " + blank + " extracted from Pelmora.CAB is empty", kFileSource,
                kFileNotFound);
  }
  check(fs.copyFile(blank, database, true), fs, blank);

  registerDataSource(frm, database);
}

void reportFailure(InstallWindow& frm, const std::string& description, const std::string& source,
                   long number) {
  frm.reportFailure("dbCheck", description + " " + source + " " + std::to_string(number));
  frm.dumpRpt();
}

}  // namespace

void dbCheck(InstallWindow& frm, bool smp) {
  (void)smp;  // the samples choice changes nothing in this stage

  std::unique_ptr<ado::Connection> cn;
  std::unique_ptr<ado::Recordset> rs;
  try {
    installDatabase(frm);
    cn = std::make_unique<ado::Connection>(frm.services().dataSources);
  } catch (const Error& e) {
    reportFailure(frm, e.description(), e.source(), e.number());
    return;
  } catch (const std::exception& e) {
    reportFailure(frm, e.what(), kStageSource, kUnexpected);
    return;
  }

  try {
    cn->ConnectionString = ado::kConnectionString;
    cn->Open();
    rs = cn->Execute("Select * from Company");
    frm.rept("Test DSN Connection Passed");
    cn->Close();
    rs.reset();
    frm.rept("--- Database Install Complete\r\n");
    frm.hideCurrent();
  } catch (const std::exception&) {
    frm.rept(
        "Test DSN Failed.  DSN Connection not available on current system or registry "
        "blocked.");
    rs.reset();
    frm.reportFailure("dbCheck", "--- Database Install Complete (Failed)\r\n");
    frm.hideCurrent();
  }
}

}  // namespace pm
