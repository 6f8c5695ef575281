#include "registration/regCheck.h"

#include <gtest/gtest.h>

#include "database/testDatabase.h"
#include "platform/ddeLinks.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeClock.h"
#include "tests/fakeInstallWindow.h"
#include "tests/fakeProcessRunner.h"

namespace pm {
namespace {

using pm::testing::FakeInstallWindow;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr const char* kProductKey = "Software\\Korrimel Software\\Pelmora";
constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora";

constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// The data source "Dorvane" for the SQLite driver, written straight into the
// user odbc.ini that ODBCINI points at.
class IniDataSources : public DataSources {
 public:
  explicit IniDataSources(fs::path folder) : folder_(std::move(folder)) {
    fs::create_directories(folder_ / "sys");
    forget();
  }
  void point(const fs::path& db) {
    testing::writeFile(folder_ / "odbc.ini", std::string("[Dorvane]\nDriver=") + kSqliteDriver +
                                                 "\nDatabase=" + db.string() + "\nNoCreat=1\n");
  }
  void forget() { testing::writeFile(folder_ / "odbc.ini", ""); }
  Status prepare() override {
    ::setenv("ODBCINI", (folder_ / "odbc.ini").c_str(), 1);
    ::setenv("ODBCSYSINI", (folder_ / "sys").c_str(), 1);
    return {};
  }

 private:
  fs::path folder_;
};

class RegCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kSqliteDriver)) GTEST_SKIP() << "SQLite ODBC driver not installed";
    makeDatabase("");
    dataSources.point(db);
    frm.state().appFolder = "C:\\Program Files\\Pelmora";
  }

  void makeDatabase(const std::string& rows) {
    fs::remove(db);
    testing::sqlite(db, "CREATE TABLE Status (StatusDescription, StatusDate, StatusValue);" + rows);
  }
  std::string statusRows() { return testing::sqlite(db, "SELECT * FROM Status ORDER BY rowid;"); }
  std::string value(RootKey root, const std::string& key, const std::string& name) {
    auto v = store.readValue(root, key, name);
    return v && *v ? (*v)->text : "<none>";
  }
  void typedName(const std::string& name) {
    frm.regNameAnswer = [name](const std::string&) { return name; };
  }

  posix::TempMachine temp;
  posix::PosixRegistryStore store{temp.machine};
  posix::PosixFileSystem files{temp.machine};
  testing::FakeClock clock;
  testing::FakeProcessRunner processes;
  IniDataSources dataSources{temp.folder / "odbc"};
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{files, clock, processes, store, dataSources, dde, toolkit, "Z:\\setup"};
  FakeInstallWindow frm{services};
  fs::path db = temp.folder / "Dorvane.mdb";
};

TEST_F(RegCheckTest, FirstRegistrationPointsEveryEntryAtTheChosenFolder) {
  frm.state().appFolder = "D:\\Apps\\Pelmora";
  makeDatabase("INSERT INTO Status VALUES ('Version', '1/1/2020', '1.9.4');");
  typedName("Ann Lee");

  regCheck(frm);

  EXPECT_EQ(frm.lines[1], "Inconsistent new path value.");
  const RootKey hkcu = RootKey::CurrentUser, hkcr = RootKey::ClassesRoot;
  for (const auto& [root, key, name, expected] :
       std::vector<std::tuple<RootKey, std::string, std::string, std::string>>{
           {hkcu, kProductKey, "AppPath", "D:\\Apps\\Pelmora"},
           // The uninstaller's place is fixed, whatever the folder.
           {hkcu, kUninstallKey, "UninstallString",
            "\"C:\\Program Files\\Pelmora\\PMUninstall.exe\""},
           {hkcr, "pmhTemplate\\DefaultIcon", "", "D:\\Apps\\Pelmora\\pmlra2.ico,0"},
           {hkcr, "pmdDictionary\\DefaultIcon", "", "D:\\Apps\\Pelmora\\books05.ico,0"}}) {
    EXPECT_EQ(value(root, key, name), expected) << key << " " << name;
  }
  EXPECT_EQ(frm.regNamePresets, (Strings{""}));
  EXPECT_EQ(statusRows(), "Version|1/1/2020|1.9.4\nUserName|12/6/2026|Ann Lee\n");
}

TEST_F(RegCheckTest, PathCheckComparesExactly) {
  for (const auto& [stored, reported] : {std::pair{"C:\\Program Files\\Pelmora", false},
                                         {"c:\\program files\\pelmora", true},
                                         {"C:\\Program Files\\Pelmora\\", true}}) {
    ASSERT_TRUE(
        store.writeValue(RootKey::CurrentUser, kProductKey, "AppPath", RegValue::string(stored)));
    FakeInstallWindow window(services);
    window.state().appFolder = "C:\\Program Files\\Pelmora";
    regCheck(window);
    EXPECT_EQ(window.lines.at(1) == "Inconsistent new path value.", reported) << stored;
    EXPECT_EQ(value(RootKey::CurrentUser, kProductKey, "AppPath"), "C:\\Program Files\\Pelmora");
  }
}

TEST_F(RegCheckTest, NameDialogStartsFromTheStoredRowAndOneRowRemains) {
  struct Case {
    std::string rows, preset, typed;
  };
  const std::string row = "INSERT INTO Status VALUES ('UserName', '3/4/2019', ";
  for (const Case& c : {
           Case{row + "'Ann');" + row + "'Bob');", "Ann", "Carol"},
           Case{row + "NULL);", "", "Eve"},
           // The name reaches the table as typed, quotes included.
           Case{row + "'Ann');", "Ann", "O'Brien"},
           Case{row + "'Ann');", "Ann", "'; DROP TABLE Status; --"},
       }) {
    makeDatabase(c.rows);
    FakeInstallWindow window(services);
    window.state().appFolder = "C:\\Program Files\\Pelmora";
    window.regNameAnswer = [&](const std::string&) { return c.typed; };
    regCheck(window);
    EXPECT_EQ(window.regNamePresets, (Strings{c.preset})) << c.rows;
    EXPECT_EQ(statusRows(), "UserName|12/6/2026|" + c.typed + "\n") << c.rows;
  }
}

TEST_F(RegCheckTest, NameThatCannotBeStoredLeavesTheEarlierOne) {
  makeDatabase(
      "INSERT INTO Status VALUES ('UserName', '3/4/2019', 'Ann');"
      "CREATE TRIGGER refuse BEFORE INSERT ON Status WHEN NEW.StatusValue = 'Zed' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  typedName("Zed");
  regCheck(frm);
  EXPECT_EQ(statusRows(), "UserName|3/4/2019|Ann\n");
  EXPECT_EQ(frm.lines.back(), "--- Environment values completed.\r\n");
}

TEST_F(RegCheckTest, UnreachableDatabaseStillAsksAndChangesNothing) {
  typedName("Ann Lee");
  fs::remove(db);  // registered, but the file is gone
  regCheck(frm);
  EXPECT_FALSE(fs::exists(db));  // never made anew as an empty file

  dataSources.forget();  // no data source at all
  regCheck(frm);

  EXPECT_EQ(frm.regNamePresets, (Strings{"", ""}));
  EXPECT_EQ(frm.lines.size(), 9u);
  EXPECT_EQ(value(RootKey::CurrentUser, kProductKey, "AppPath"), "C:\\Program Files\\Pelmora");
}

TEST_F(RegCheckTest, BrokenRegistryFileIsReportedOnceAndTheRestGoesOn) {
  const fs::path hkcu = temp.machine.registryFile("HKEY_CURRENT_USER");
  const std::string broken = "this is no registry export\r\n[HKEY_CURRENT_USER\r\n";
  testing::writeFile(hkcu, broken);
  makeDatabase("INSERT INTO Status VALUES ('UserName', '3/4/2019', 'Ann');");
  typedName("Ann Lee");

  regCheck(frm);

  ASSERT_EQ(frm.lines.size(), 5u) << ::testing::PrintToString(frm.lines);
  EXPECT_TRUE(frm.lines[1].starts_with("Registry value not read: HKEY_CURRENT_USER\\Software"))
      << frm.lines[1];

  EXPECT_EQ(testing::readFile(hkcu), broken);  // never overwritten
  EXPECT_EQ(value(RootKey::ClassesRoot, ".pmh", ""), "pmhTemplate");
  EXPECT_EQ(statusRows(), "UserName|12/6/2026|Ann Lee\n");
}

}  // namespace
}  // namespace pm
