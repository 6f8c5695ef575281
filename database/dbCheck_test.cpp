#include "database/dbCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "database/connection.h"
#include "database/testDatabase.h"
#include "platform/ddeLinks.h"
#include "platform/posix/odbcDataSources.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixProcessRunner.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
#include "tests/fakeInstallWindow.h"
#include "tests/fakeProcessRunner.h"
#include "tests/fakeRegistryStore.h"

namespace pm {
namespace {

namespace stdfs = std::filesystem;
using Lines = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, RegValue>>;

constexpr RootKey HKCU = RootKey::CurrentUser;
const std::string kDsnKey = "SOFTWARE\\ODBC\\ODBC.INI\\Dorvane";
const std::string kEnginesKey = kDsnKey + "\\Engines";
const std::string kJetKey = kEnginesKey + "\\Jet";
const std::string kListKey = "Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
const std::string kTestFailed =
    "Test DSN Failed.  DSN Connection not available on current system or registry blocked.";

// A machine folder with an installer folder C:\setup and its temporary folder,
// the real file system, registry store and ODBC data sources, and a cabinet
// tool stand-in that "extracts" Dorvane.mdb by copying the blank database made
// for the test, when the main cabinet is in the temporary folder.
class DbCheckTest : public ::testing::Test {
 protected:
  DbCheckTest()
      : machine(temp.machine),
        fs(machine),
        registry(machine),
        dataSources(machine, registry),
        services{fs, clock, cabarc, registry, dataSources, dde, toolkit, "C:\\setup"},
        frm(services) {
    stdfs::create_directories(host(tempFolder));
    stdfs::create_directories(host(appFolder));
    frm.state().appFolder = appFolder;
    frm.state().tempFolder = tempFolder;
    blank = temp.folder / "blank.mdb";
    pm::testing::makeProductDatabase(blank, "Blank Company");
    pm::testing::writeFile(host(tempFolder + "\\Pelmora.CAB"), "a cabinet");
    cabarc.onRun = [this](const std::string&, const std::vector<std::string>& args) {
      // Cabarc -o X <cabinet> Dorvane.mdb <destination>\ .
      if (args.size() != 6 || !fs.fileExists(args[3])) return 1;
      return fs.copyFile(machine.toWindows(blank), args[5] + args[4], true) ? 0 : 1;
    };
  }
  void SetUp() override {
    if (posix::OdbcDataSources::findSqliteDriver().empty())
      GTEST_SKIP() << "SQLite ODBC driver not installed";
  }
  ~DbCheckTest() override { stdfs::current_path(cwd); }

  stdfs::path host(const std::string& windowsPath) const { return machine.toHost(windowsPath); }
  std::optional<RegValue> value(const std::string& key, const std::string& name) {
    auto v = registry.readValue(HKCU, key, name);
    EXPECT_TRUE(v) << v.message();
    return v ? v.value() : std::nullopt;
  }
  // Every value of a key, in the order the store keeps them.
  Values key(const std::string& path) {
    Values all;
    const auto names = registry.valueNames(HKCU, path);
    for (const std::string& name : names.value()) all.emplace_back(name, value(path, name).value());
    return all;
  }
  // The six values that the stage writes for the data source.
  Values dataSourceValues() const {
    return {{"DBQ", RegValue::string(database)},
            {"Driver", RegValue::string("C:\\windows\\system32\\odbcjt32.dll")},
            {"DriverID", RegValue::number(25)},
            {"FIL", RegValue::string("MS Access;")},
            {"SafeTransactions", RegValue::number(0)},
            {"UID", RegValue::string("")}};
  }
  void set(const std::string& key, const std::string& name, const RegValue& v) {
    ASSERT_TRUE(registry.writeValue(HKCU, key, name, v));
  }
  // The Company row of the product database, read through the data source.
  std::string companyThroughDataSource() {
    ado::Connection cn(dataSources);
    cn.ConnectionString = ado::kConnectionString;
    cn.Open();
    auto rs = cn.Execute("Select * from Company");
    return rs->isEOF() ? "<no row>" : rs->field("CompanyName").value_or("<null>");
  }
  std::string debugFile() { return pm::testing::readFile(host("C:\\setup\\PMInstall.dbg")); }

  const std::string appFolder = "C:\\Program Files\\Pelmora";
  const std::string tempFolder = "C:\\setup\\PMUpTemp";
  const std::string database = appFolder + "\\Dorvane.mdb";
  const std::string backup = appFolder + "\\DorvaneBKUP.mdb";
  const std::string cabarcLine =
      "Cabarc -o X \"C:\\setup\\PMUpTemp\\Pelmora.CAB\" Dorvane.mdb \"C:\\setup\\PMUpTemp\"\\";

  stdfs::path cwd = stdfs::current_path();
  posix::TempMachine temp;
  posix::Machine& machine;
  posix::PosixFileSystem fs;
  posix::PosixRegistryStore registry;
  posix::OdbcDataSources dataSources;
  testing::FakeClock clock;
  testing::FakeProcessRunner cabarc;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services;
  testing::FakeInstallWindow frm;
  stdfs::path blank;
};

TEST_F(DbCheckTest, FreshMachineGetsTheBlankDatabaseAndAllFourKeys) {
  dbCheck(frm, true);

  EXPECT_EQ(frm.lines,
            (Lines{"DATABASE Upgrade Installation", "Database not found, Creating blank database.",
                   "Extracting database to C:\\setup\\PMUpTemp", "Copying database",
                   "ODBC.INI Registry check", "ODBC Initialization registers complete.",
                   "ODBC Engine registers complete.", "ODBC Engines\\Jet registers complete.",
                   "ODBC Data Sources registers complete. DSN Complete.",
                   "Test DSN Connection Passed", "--- Database Install Complete\r\n"}));
  EXPECT_EQ(frm.commands, Lines{cabarcLine});
  EXPECT_EQ(frm.pauses, std::vector<std::int16_t>(11, 5));
  EXPECT_EQ(stdfs::current_path(), host("C:\\setup"));
  EXPECT_EQ(frm.currentCaption, "Database");
  EXPECT_FALSE(frm.currentVisible);
  EXPECT_EQ(frm.dumps, 0);
  EXPECT_FALSE(fs.fileExists(backup));
  EXPECT_EQ(pm::testing::readFile(host(database)), pm::testing::readFile(blank));

  EXPECT_EQ(key(kDsnKey), dataSourceValues());
  EXPECT_TRUE(*registry.keyExists(HKCU, kEnginesKey));
  EXPECT_EQ(key(kEnginesKey), Values{});
  EXPECT_EQ(key(kJetKey), (Values{{"ImplicitCommitSync", RegValue::string("")},
                                  {"MaxBufferSize", RegValue::number(2048)},
                                  {"PageTimeout", RegValue::number(5)},
                                  {"Threads", RegValue::number(3)},
                                  {"UserCommitSync", RegValue::string("Yes")}}));
  EXPECT_EQ(key(kListKey),
            (Values{{"Dorvane", RegValue::string("Microsoft Access Driver (*.mdb)")}}));

  // The new database is what the data source reaches, for the layer and for isql.
  EXPECT_EQ(companyThroughDataSource(), "Blank Company");
  if (!pm::testing::runShell("command -v isql").empty()) {
    int exitCode = -1;
    const std::string out = pm::testing::runShell(
        "echo 'SELECT CompanyName FROM Company' | ODBCINI=" +
            pm::testing::shellQuote(dataSources.iniFile().string()) + " isql -b -d, Dorvane 2>&1",
        &exitCode);
    EXPECT_EQ(exitCode, 0) << out;
    EXPECT_NE(out.find("Blank Company"), std::string::npos) << out;
  }
}

TEST_F(DbCheckTest, SecondRunReplacesTheOlderBackupWithTheUsersDataAndRewritesTheDataSource) {
  dbCheck(frm);
  pm::testing::sqlite(host(database), "INSERT INTO Company VALUES ('Ann''s Shop', 'Oslo');");
  const std::string usersData = pm::testing::readFile(host(database));
  // Values that the second run must set back, and a list entry it must leave.
  set(kDsnKey, "FIL", RegValue::string("changed"));
  set(kJetKey, "UserCommitSync", RegValue::string("No"));
  set(kListKey, "Dorvane", RegValue::string("Hand-made entry"));
  pm::testing::writeFile(host(backup), "an older backup");
  frm.lines.clear();

  dbCheck(frm, false);

  EXPECT_EQ(
      frm.lines,
      (Lines{"DATABASE Upgrade Installation", "Database exists.  Making backup and overwriting.",
             "Extracting database to C:\\setup\\PMUpTemp", "Copying database",
             "ODBC.INI Registry check", "ODBC Initialization registers complete.",
             "ODBC Engine registers complete.", "ODBC Engines\\Jet registers complete.",
             "ODBC Data Sources Registers set.",
             "ODBC Data Sources registers complete. DSN Complete.", "Test DSN Connection Passed",
             "--- Database Install Complete\r\n"}));
  EXPECT_EQ(pm::testing::readFile(host(backup)), usersData);
  EXPECT_EQ(pm::testing::readFile(host(database)), pm::testing::readFile(blank));
  EXPECT_EQ(value(kDsnKey, "FIL"), RegValue::string("MS Access;"));
  EXPECT_EQ(value(kJetKey, "UserCommitSync"), RegValue::string("Yes"));
  EXPECT_EQ(value(kListKey, "Dorvane"), RegValue::string("Hand-made entry"));
  EXPECT_EQ(companyThroughDataSource(), "Blank Company");
}

TEST_F(DbCheckTest, RegisteredValuesAreLeftAloneOnlyWhenEveryOneIsSetAndDbqMatchesExactly) {
  // Everything present, set by hand: nothing is rewritten.
  set(kDsnKey, "DBQ", RegValue::string(database));
  set(kDsnKey, "Driver", RegValue::string("custom.dll"));
  set(kDsnKey, "DriverID", RegValue::number(99));
  set(kDsnKey, "FIL", RegValue::string("MS Access;"));
  set(kDsnKey, "SafeTransactions", RegValue::number(1));
  set(kDsnKey, "UID", RegValue::string("admin"));
  set(kEnginesKey, "(Default)", RegValue::string("engines"));
  for (const char* name : {"(Default)", "ImplicitCommitSync", "MaxBufferSize", "PageTimeout",
                           "Threads", "UserCommitSync"}) {
    set(kJetKey, name, RegValue::string("kept"));
  }
  set(kListKey, "Dorvane", RegValue::string("Microsoft Access Driver (*.mdb)"));

  dbCheck(frm);

  const Lines registryLines(frm.lines.begin() + 4, frm.lines.end() - 2);
  EXPECT_EQ(registryLines,
            (Lines{"ODBC.INI Registry check", "Current ODBC.INI registers set.",
                   "ODBC Initialization registers complete.", "Current ODBC Engine registers set.",
                   "ODBC Engine registers complete.", "ODBC Engines\\Jet registers set.",
                   "ODBC Engines\\Jet registers complete.", "ODBC Data Sources Registers set.",
                   "ODBC Data Sources registers complete. DSN Complete."}));
  EXPECT_EQ(value(kDsnKey, "Driver"), RegValue::string("custom.dll"));
  EXPECT_EQ(value(kDsnKey, "UID"), RegValue::string("admin"));
  EXPECT_EQ(value(kJetKey, "Threads"), RegValue::string("kept"));

  // A DBQ that differs only in letter case, or names another folder: all six again.
  for (const std::string& other : {std::string("C:\\PROGRAM FILES\\Pelmora\\Dorvane.mdb"),
                                   std::string("D:\\Elsewhere\\Dorvane.mdb")}) {
    set(kDsnKey, "DBQ", RegValue::string(other));
    set(kDsnKey, "UID", RegValue::string("admin"));
    frm.lines.clear();
    dbCheck(frm);
    EXPECT_EQ(frm.lines[5], "ODBC Initialization registers complete.") << other;
    EXPECT_EQ(key(kDsnKey), dataSourceValues());
    EXPECT_EQ(frm.lines.back(), "--- Database Install Complete\r\n");
  }
}

TEST_F(DbCheckTest, AReadOnlyDatabaseIsBackedUpThenTheStageStopsWithItIntact) {
  pm::testing::makeProductDatabase(host(database), "Users data");
  const std::string usersData = pm::testing::readFile(host(database));
  stdfs::permissions(
      host(database),
      stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
      stdfs::perm_options::remove);

  dbCheck(frm);

  ASSERT_EQ(frm.lines.size(), 3u);
  EXPECT_EQ(frm.lines[1], "Database exists.  Making backup and overwriting.");
  EXPECT_NE(frm.lines[2].find("Dorvane.mdb"), std::string::npos) << frm.lines[2];
  EXPECT_TRUE(frm.lines[2].ends_with(" Scripting.FileSystemObject 70")) << frm.lines[2];
  EXPECT_EQ(frm.dumps, 1);
  EXPECT_EQ(debugFile(), frm.state().reportText);
  EXPECT_TRUE(frm.currentVisible);
  EXPECT_TRUE(frm.commands.empty());
  EXPECT_EQ(pm::testing::readFile(host(database)), usersData);
  EXPECT_EQ(pm::testing::readFile(host(backup)), usersData);
  EXPECT_FALSE(*registry.keyExists(HKCU, kDsnKey));
}

// The backup comes out one byte short, as a copy cut off by a full disk would.
TEST(DbCheckBackup, ABackupThatDiffersFromTheDatabaseKeepsTheDatabaseInPlace) {
  testing::FakeFileSystem fs;
  testing::FakeRegistryStore registry;
  testing::FakeClock clock;
  testing::FakeProcessRunner runner;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  struct : DataSources {
    Status prepare() override { return {}; }
  } dataSources;
  Services services{fs, clock, runner, registry, dataSources, dde, toolkit, "C:\\setup"};
  testing::FakeInstallWindow frm(services);
  frm.state().appFolder = "C:\\Pelmora";
  frm.state().tempFolder = "C:\\setup\\PMUpTemp";
  fs.addFile("C:\\Pelmora\\Dorvane.mdb", "the user's data");
  fs.interceptor = [&fs](const std::string& operation, const std::string& path) {
    if (operation == "readText" && path == "C:\\Pelmora\\DorvaneBKUP.mdb")
      fs.addFile(path, "the user's dat");
    return Status();
  };

  dbCheck(frm);

  ASSERT_EQ(frm.lines.size(), 3u);
  EXPECT_EQ(frm.lines[2],
            "The backup C:\\Pelmora\\DorvaneBKUP.mdb is not an identical copy of "
            "C:\\Pelmora\\Dorvane.mdb; the database was left in place PMSetup -2147220503");
  EXPECT_EQ(frm.dumps, 1);
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_EQ(fs.content("C:\\Pelmora\\Dorvane.mdb"), "the user's data");
}

TEST_F(DbCheckTest, AMissingMainCabinetFailsAtTheCopyWithTheUsersDataInTheBackup) {
  pm::testing::makeProductDatabase(host(database), "Users data");
  const std::string usersData = pm::testing::readFile(host(database));
  stdfs::remove(host(tempFolder + "\\Pelmora.CAB"));

  dbCheck(frm);

  ASSERT_EQ(frm.lines.size(), 5u);
  EXPECT_EQ(frm.lines[3], "Copying database");
  EXPECT_NE(frm.lines[4].find("PMUpTemp"), std::string::npos) << frm.lines[4];
  EXPECT_TRUE(frm.lines[4].ends_with(" Scripting.FileSystemObject 53")) << frm.lines[4];
  EXPECT_EQ(frm.commands, Lines{cabarcLine});
  EXPECT_EQ(frm.dumps, 1);
  EXPECT_EQ(debugFile(), frm.state().reportText);
  EXPECT_TRUE(frm.currentVisible);
  EXPECT_FALSE(fs.fileExists(database));
  EXPECT_EQ(pm::testing::readFile(host(backup)), usersData);
  EXPECT_FALSE(*registry.keyExists(HKCU, kDsnKey));
}

TEST_F(DbCheckTest, ADatabaseTheDriverCannotUseFailsOnlyTheTest) {
  const std::vector<std::pair<std::string, std::string>> blanks = {
      {"damaged", "this is not a database file, only text"}, {"without a Company table", ""}};
  for (const auto& [what, content] : blanks) {
    if (content.empty()) {
      stdfs::remove(blank);
      pm::testing::sqlite(blank, "CREATE TABLE Status (StatusDescription TEXT);");
    } else {
      pm::testing::writeFile(blank, content);
    }
    frm.lines.clear();
    frm.currentVisible = true;

    dbCheck(frm);

    ASSERT_GE(frm.lines.size(), 11u) << what;
    const Lines tail(frm.lines.end() - 3, frm.lines.end());
    EXPECT_EQ(tail, (Lines{"ODBC Data Sources registers complete. DSN Complete.", kTestFailed,
                           "--- Database Install Complete (Failed)\r\n"}))
        << what;
    EXPECT_FALSE(frm.currentVisible) << what;
    EXPECT_EQ(frm.dumps, 0) << what;
  }
}

TEST_F(DbCheckTest, AnUnreadableRegistryEndsTheStageThroughItsHandler) {
  pm::testing::writeFile(machine.registryFile("HKEY_CURRENT_USER"), "not a registry file\r\n");

  dbCheck(frm);

  ASSERT_EQ(frm.lines.size(), 6u);
  EXPECT_EQ(frm.lines[4], "ODBC.INI Registry check");
  EXPECT_NE(frm.lines[5].find(" RegistryHelper "), std::string::npos) << frm.lines[5];
  EXPECT_EQ(frm.dumps, 1);
  EXPECT_TRUE(frm.currentVisible);
  // The blank database is in place all the same: the failure came after the copy.
  EXPECT_EQ(pm::testing::readFile(host(database)), pm::testing::readFile(blank));
}

TEST_F(DbCheckTest, TheRealCabinetToolExtractsTheBlankDatabase) {
  const char* bin = std::getenv("PM_BUILD_BIN");
  const stdfs::path tool = stdfs::path(bin ? bin : "") / "Cabarc";
  if (!bin || !stdfs::exists(tool)) GTEST_SKIP() << "Cabarc not built";
  if (pm::testing::runShell("command -v gcab").empty()) GTEST_SKIP() << "gcab not installed";
  stdfs::create_symlink(tool, host("C:\\setup\\Cabarc"));
  // The main cabinet, made by an independent archiver, with the blank database.
  const stdfs::path staging = temp.folder / "staging";
  stdfs::create_directories(staging);
  stdfs::copy_file(blank, staging / "Dorvane.mdb");
  pm::testing::writeFile(staging / "Pelmora.exe", "program");
  int exitCode = -1;
  pm::testing::runShell("cd " + pm::testing::shellQuote(staging.string()) + " && gcab -cz " +
                            pm::testing::shellQuote(host(tempFolder + "\\Pelmora.CAB").string()) +
                            " Pelmora.exe Dorvane.mdb",
                        &exitCode);
  ASSERT_EQ(exitCode, 0);
  pm::testing::makeProductDatabase(host(database), "Users data");

  posix::PosixProcessRunner runner(machine, host("C:\\setup"));
  Services real{fs, clock, runner, registry, dataSources, dde, toolkit, "C:\\setup"};
  testing::FakeInstallWindow window(real);
  window.state().appFolder = appFolder;
  window.state().tempFolder = tempFolder;

  dbCheck(window);

  EXPECT_EQ(window.lines.back(), "--- Database Install Complete\r\n");
  EXPECT_EQ(pm::testing::readFile(host(database)), pm::testing::readFile(blank));
  EXPECT_EQ(companyThroughDataSource(), "Blank Company");
}

}  // namespace
}  // namespace pm
