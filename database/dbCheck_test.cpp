#include "database/dbCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "database/testDatabase.h"
#include "tests/fakeInstallWindow.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

namespace stdfs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr RootKey HKCU = RootKey::CurrentUser;
const std::string kDsnKey = "SOFTWARE\\ODBC\\ODBC.INI\\Dorvane";
const std::string kTestFailed =
    "Test DSN Failed.  DSN Connection not available on current system or registry blocked.";

// The machine under test with an installer folder C:\\setup and its temporary
// folder, its file system, registry and data sources, and a cabinet tool
// stand-in that "extracts" Dorvane.mdb by copying the blank database made for
// the test, when the main cabinet is in the temporary folder.
class DbCheckTest : public ::testing::Test {
 protected:
  DbCheckTest() {
    stdfs::create_directories(host(tempFolder));
    stdfs::create_directories(host(appFolder));
    frm.state().appFolder = appFolder;
    frm.state().tempFolder = tempFolder;
    pm::testing::makeProductDatabase(host(blank), "Blank Company");
    pm::testing::writeFile(host(tempFolder + "\\Pelmora.CAB"), "a cabinet");
    cabarc.onRun = [this](const std::string&, const std::vector<std::string>& args) {
      // Cabarc -o X <cabinet> Dorvane.mdb <destination>\ .
      if (args.size() != 6 || !fs.fileExists(args[3])) return 1;
      return fs.copyFile(blank, args[5] + args[4], true) ? 0 : 1;
    };
  }
  void SetUp() override {
    if (!testing::MachineUnderTest::hasSqliteDriver())
      GTEST_SKIP() << "SQLite ODBC driver not installed";
  }
  ~DbCheckTest() override { stdfs::current_path(cwd); }

  stdfs::path host(const std::string& windowsPath) const { return machine.host(windowsPath); }

  const std::string appFolder = "C:\\Program Files\\Pelmora";
  const std::string tempFolder = "C:\\setup\\PMUpTemp";
  const std::string database = appFolder + "\\Dorvane.mdb";
  const std::string backup = appFolder + "\\DorvaneBKUP.mdb";
  const std::string blank = "C:\\blank.mdb";

  stdfs::path cwd = stdfs::current_path();
  testing::MachineUnderTest machine;
  FileSystem& fs = machine.fs;
  // The machine's registry, which can be made to refuse every value written.
  struct Registry : RegistryStore {
    explicit Registry(RegistryStore& store) : store(store) {}
    Result<std::optional<RegValue>> readValue(RootKey root, const std::string& key,
                                              const std::string& name) override {
      return store.readValue(root, key, name);
    }
    Status writeValue(RootKey root, const std::string& key, const std::string& name,
                      const RegValue& value) override {
      if (refuseWrites) return Status::failure("access denied");
      return store.writeValue(root, key, name, value);
    }
    Status createKey(RootKey root, const std::string& key) override {
      return store.createKey(root, key);
    }
    Result<bool> keyExists(RootKey root, const std::string& key) override {
      return store.keyExists(root, key);
    }
    Result<std::vector<std::string>> valueNames(RootKey root, const std::string& key) override {
      return store.valueNames(root, key);
    }
    RegistryStore& store;
    bool refuseWrites = false;
  } registry{machine.registryStore};
  testing::FakeClock clock;
  testing::FakeProcessRunner cabarc;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{{fs, clock, cabarc, registry, machine.registeredSources, dde, "C:\\setup"},
                    toolkit};
  testing::FakeInstallWindow frm{services};
};

// An older backup that differs from the database holds the data from before an
// earlier upgrade: it is kept under the first free numbered name.
TEST_F(DbCheckTest, AnOlderDifferentBackupIsKeptUnderTheNextFreeNumber) {
  pm::testing::makeProductDatabase(host(database), "Users data");
  const std::string usersData = pm::testing::readFile(host(database));
  pm::testing::writeFile(host(backup), "an older backup");
  pm::testing::writeFile(host(appFolder + "\\DorvaneBKUP.1.mdb"), "an even older one");

  dbCheck(frm);

  EXPECT_EQ(frm.lines[2], "Older backup kept as DorvaneBKUP.2.mdb.");
  EXPECT_EQ(frm.lines.back(), "--- Database Install Complete\r\n");
  EXPECT_EQ(pm::testing::readFile(host(appFolder + "\\DorvaneBKUP.2.mdb")), "an older backup");
  EXPECT_EQ(pm::testing::readFile(host(appFolder + "\\DorvaneBKUP.1.mdb")), "an even older one");
  EXPECT_EQ(pm::testing::readFile(host(backup)), usersData);
  EXPECT_EQ(pm::testing::readFile(host(database)), pm::testing::readFile(host(blank)));
}

// The backup compares unequal, as a copy cut off by a full disk would.
TEST(DbCheckBackup, ABackupThatDiffersFromTheDatabaseKeepsTheDatabaseInPlace) {
  struct CutShortBackup : testing::MachineFileSystem {
    using MachineFileSystem::MachineFileSystem;
    Result<bool> sameContent(const std::string& a, const std::string& b) override {
      if (a.ends_with("BKUP.mdb") || b.ends_with("BKUP.mdb")) return false;
      return MachineFileSystem::sameContent(a, b);
    }
  };
  testing::WindowTestRig rig;
  CutShortBackup fs{rig};
  Services services{
      {fs, rig.clock, rig.processes, rig.registryStore, rig.dataSources, rig.dde, "C:\\setup"},
      rig.toolkit};
  testing::FakeInstallWindow frm(services);
  frm.state().appFolder = "C:\\Pelmora";
  frm.state().tempFolder = "C:\\setup\\PMUpTemp";
  ASSERT_TRUE(fs.createFolder("C:\\Pelmora"));
  ASSERT_TRUE(fs.writeText("C:\\Pelmora\\Dorvane.mdb", "the user's data"));

  dbCheck(frm);

  ASSERT_EQ(frm.lines.size(), 3u);
  EXPECT_EQ(frm.lines[2],
            "The backup C:\\Pelmora\\DorvaneBKUP.mdb is not an identical copy of "
            "C:\\Pelmora\\Dorvane.mdb; the database was left in place PMSetup -2147220503");
  EXPECT_EQ(frm.dumps, 1);
  EXPECT_TRUE(rig.processes.commands.empty());
  EXPECT_EQ(fs.readText("C:\\Pelmora\\Dorvane.mdb").value(), "the user's data");
}

TEST_F(DbCheckTest, TheDataSourceIsRegisteredUnderItsOwnKeys) {
  dbCheck(frm);
  ASSERT_EQ(frm.lines.back(), "--- Database Install Complete\r\n");
  const std::string jet = kDsnKey + "\\Engines\\Jet";
  for (const auto& [key, name, expected] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {kDsnKey, "DBQ", database},
           {kDsnKey, "Driver", "C:\\windows\\system32\\odbcjt32.dll"},
           {kDsnKey, "DriverID", "25"},
           {kDsnKey, "FIL", "MS Access;"},
           {kDsnKey, "SafeTransactions", "0"},
           {kDsnKey, "UID", ""},
           {jet, "ImplicitCommitSync", ""},
           {jet, "MaxBufferSize", "2048"},
           {jet, "PageTimeout", "5"},
           {jet, "Threads", "3"},
           {jet, "UserCommitSync", "Yes"},
           {"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", "Dorvane",
            "Microsoft Access Driver (*.mdb)"}}) {
    const auto v = registry.readValue(HKCU, key, name);
    ASSERT_TRUE(v && v->has_value()) << key << " " << name;
    const RegValue& r = **v;
    EXPECT_EQ(r.type == ValueType::Dword ? std::to_string(r.dword) : r.text, expected)
        << key << " " << name;
  }
}

// A value the registry refuses is told with the registry failure line and
// recorded; the stage goes on to the connection test.
TEST_F(DbCheckTest, ARefusedDataSourceValueIsToldAndRecorded) {
  registry.refuseWrites = true;
  dbCheck(frm);
  ASSERT_FALSE(frm.state().failures.empty());
  EXPECT_EQ(frm.state().failures.front().what, "Registry value not written: HKEY_CURRENT_USER\\" +
                                                   kDsnKey +
                                                   " DBQ: access denied RegSetValueExA 1013");
  EXPECT_EQ(frm.lines.back(), "--- Database Install Complete (Failed)\r\n");
}

// A blank database that came out of the cabinet empty never takes the place
// of the user's.
TEST_F(DbCheckTest, AnEmptyBlankDatabaseLeavesTheUsersInPlace) {
  pm::testing::makeProductDatabase(host(database), "Users data");
  const std::string usersData = pm::testing::readFile(host(database));
  pm::testing::writeFile(host(blank), "");
  dbCheck(frm);
  EXPECT_EQ(frm.state().failures.size(), 1u);
  EXPECT_EQ(pm::testing::readFile(host(database)), usersData);
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
    stdfs::remove(host(blank));
    if (damaged) pm::testing::writeFile(host(blank), "this is not a database file, only text");
    if (!damaged) pm::testing::sqlite(host(blank), "CREATE TABLE Status (StatusDescription TEXT);");
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
