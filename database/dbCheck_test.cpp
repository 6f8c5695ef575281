#include "database/dbCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "database/testDatabase.h"
#include "platform/ddeLinks.h"
#include "platform/posix/odbcDataSources.h"
#include "platform/posix/posixFileSystem.h"
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
  DbCheckTest() {
    stdfs::create_directories(host(tempFolder));
    stdfs::create_directories(host(appFolder));
    frm.state().appFolder = appFolder;
    frm.state().tempFolder = tempFolder;
    pm::testing::makeProductDatabase(blank, "Blank Company");
    pm::testing::writeFile(host(tempFolder + "\\Pelmora.CAB"), "a cabinet");
    cabarc.onRun = [this](const std::string&, const std::vector<std::string>& args) {
      // Cabarc -o X <cabinet> Dorvane.mdb <destination>\ .
      if (args.size() != 6 || !fs.fileExists(args[3])) return 1;
      return fs.copyFile(temp.machine.toWindows(blank), args[5] + args[4], true) ? 0 : 1;
    };
  }
  void SetUp() override {
    if (posix::OdbcDataSources::findSqliteDriver().empty())
      GTEST_SKIP() << "SQLite ODBC driver not installed";
  }
  ~DbCheckTest() override { stdfs::current_path(cwd); }

  stdfs::path host(const std::string& windowsPath) const {
    return temp.machine.toHost(windowsPath);
  }
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

  const std::string appFolder = "C:\\Program Files\\Pelmora";
  const std::string tempFolder = "C:\\setup\\PMUpTemp";
  const std::string database = appFolder + "\\Dorvane.mdb";
  const std::string backup = appFolder + "\\DorvaneBKUP.mdb";

  stdfs::path cwd = stdfs::current_path();
  posix::TempMachine temp;
  stdfs::path blank = temp.folder / "blank.mdb";
  posix::PosixFileSystem fs{temp.machine};
  posix::PosixRegistryStore registry{temp.machine};
  posix::OdbcDataSources dataSources{temp.machine, registry};
  testing::FakeClock clock;
  testing::FakeProcessRunner cabarc;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{fs, clock, cabarc, registry, dataSources, dde, toolkit, "C:\\setup"};
  testing::FakeInstallWindow frm{services};
};

TEST_F(DbCheckTest, SecondRunKeepsTheUsersDataAsBackupAndSetsTheDataSourceBack) {
  dbCheck(frm, true);
  EXPECT_EQ(key(kDsnKey), dataSourceValues());

  pm::testing::sqlite(host(database), "INSERT INTO Company VALUES ('Ann''s Shop', 'Oslo');");
  const std::string usersData = pm::testing::readFile(host(database));
  // Values that the second run must set back, and a list entry it must leave.
  set(kDsnKey, "FIL", RegValue::string("changed"));
  set(kJetKey, "UserCommitSync", RegValue::string("No"));
  set(kListKey, "Dorvane", RegValue::string("Hand-made entry"));
  pm::testing::writeFile(host(backup), "an older backup");
  pm::testing::writeFile(host(appFolder + "\\DorvaneBKUP.1.mdb"), "an even older one");
  frm.lines.clear();

  dbCheck(frm, false);

  EXPECT_EQ(frm.lines[2], "Older backup kept as DorvaneBKUP.2.mdb.");
  EXPECT_EQ(frm.lines[9], "ODBC Data Sources Registers set.");
  EXPECT_EQ(frm.lines.back(), "--- Database Install Complete\r\n");
  EXPECT_EQ(pm::testing::readFile(host(appFolder + "\\DorvaneBKUP.2.mdb")), "an older backup");
  EXPECT_EQ(pm::testing::readFile(host(appFolder + "\\DorvaneBKUP.1.mdb")), "an even older one");
  EXPECT_EQ(pm::testing::readFile(host(backup)), usersData);
  EXPECT_EQ(pm::testing::readFile(host(database)), pm::testing::readFile(blank));
  EXPECT_EQ(value(kDsnKey, "FIL"), RegValue::string("MS Access;"));
  EXPECT_EQ(value(kJetKey, "UserCommitSync"), RegValue::string("Yes"));
  EXPECT_EQ(value(kListKey, "Dorvane"), RegValue::string("Hand-made entry"));
}

TEST_F(DbCheckTest, RegisteredValuesAreLeftAloneOnlyWhenEveryOneIsSetAndDbqMatchesExactly) {
  // Everything present, set by hand: nothing is rewritten.
  for (const auto& [name, v] : dataSourceValues()) set(kDsnKey, name, v);
  set(kDsnKey, "Driver", RegValue::string("custom.dll"));
  set(kDsnKey, "UID", RegValue::string("admin"));
  set(kEnginesKey, "(Default)", RegValue::string("engines"));
  for (const char* name : {"(Default)", "ImplicitCommitSync", "MaxBufferSize", "PageTimeout",
                           "Threads", "UserCommitSync"}) {
    set(kJetKey, name, RegValue::string("kept"));
  }
  set(kListKey, "Dorvane", RegValue::string("Microsoft Access Driver (*.mdb)"));

  dbCheck(frm);

  EXPECT_EQ(frm.lines[5], "Current ODBC.INI registers set.");
  EXPECT_EQ(frm.lines[9], "ODBC Engines\\Jet registers set.");
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
  EXPECT_TRUE(frm.lines[2].ends_with(" Scripting.FileSystemObject 70")) << frm.lines[2];
  EXPECT_EQ(pm::testing::readFile(host("C:\\setup\\PMInstall.dbg")), frm.state().reportText);
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

TEST_F(DbCheckTest, AMissingMainCabinetFailsAtTheCopyWithTheUsersDataInPlace) {
  pm::testing::makeProductDatabase(host(database), "Users data");
  const std::string usersData = pm::testing::readFile(host(database));
  stdfs::remove(host(tempFolder + "\\Pelmora.CAB"));

  dbCheck(frm);

  ASSERT_EQ(frm.lines.size(), 5u);
  EXPECT_TRUE(frm.lines[4].ends_with(" Scripting.FileSystemObject 53")) << frm.lines[4];
  EXPECT_EQ(frm.dumps, 1);
  EXPECT_EQ(pm::testing::readFile(host(database)), usersData);
  EXPECT_EQ(pm::testing::readFile(host(backup)), usersData);
  EXPECT_FALSE(*registry.keyExists(HKCU, kDsnKey));
}

TEST_F(DbCheckTest, ADatabaseTheDriverCannotUseFailsOnlyTheTest) {
  // Text that is no database, then a database without the Company table.
  for (bool damaged : {true, false}) {
    stdfs::remove(blank);
    if (damaged) pm::testing::writeFile(blank, "this is not a database file, only text");
    if (!damaged) pm::testing::sqlite(blank, "CREATE TABLE Status (StatusDescription TEXT);");
    frm.lines.clear();

    dbCheck(frm);

    ASSERT_GE(frm.lines.size(), 11u) << damaged;
    EXPECT_EQ(Lines(frm.lines.end() - 3, frm.lines.end()),
              (Lines{"ODBC Data Sources registers complete. DSN Complete.", kTestFailed,
                     "--- Database Install Complete (Failed)\r\n"}))
        << damaged;
    EXPECT_EQ(frm.dumps, 0) << damaged;
  }
}

}  // namespace
}  // namespace pm
