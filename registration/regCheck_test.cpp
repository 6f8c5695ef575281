// The registration stage on a temporary machine and a SQLite database, for what
// the end-to-end roads do not reach: the rows a database already holds, names
// that are hostile to SQL, and databases or registries that fail.
#include "registration/regCheck.h"

#include <gtest/gtest.h>

#include "database/testDatabase.h"
#include "tests/fakeInstallWindow.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using pm::testing::FakeInstallWindow;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// The data source "Dorvane" for the SQLite driver, written straight into the
// user odbc.ini that ODBCINI points at, apart from the registry.
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
    auto v = rig.registryStore.readValue(root, key, name);
    return v && *v ? (*v)->text : "<none>";
  }
  void typedName(const std::string& name) {
    frm.regNameAnswer = [name](const std::string&) { return name; };
  }

  testing::WindowTestRig rig;
  IniDataSources dataSources{rig.temp.folder / "odbc"};
  Services services{rig.fs,      rig.clock, rig.processes, rig.registryStore,
                    dataSources, rig.dde,   rig.toolkit,   "C:\\setup"};
  FakeInstallWindow frm{services};
  fs::path db = rig.temp.folder / "Dorvane.mdb";
};

TEST_F(RegCheckTest, NameDialogStartsFromTheStoredRowAndOneRowRemains) {
  struct Case {
    std::string rows, preset, typed, kept = "";
  };
  const std::string row = "INSERT INTO Status VALUES ('UserName', '3/4/2019', ";
  for (const Case& c : {
           // Other rows stay.
           Case{
               row + "'Ann');" + row + "'Bob');INSERT INTO Status VALUES ('Version', '', '1.9.4');",
               "Ann", "Carol", "Version||1.9.4\n"},
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
    EXPECT_EQ(statusRows(), c.kept + "UserName|12/6/2026|" + c.typed + "\n") << c.rows;
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
  dataSources.forget();          // no data source at all
  regCheck(frm);
  EXPECT_EQ(frm.regNamePresets, (Strings{"", ""}));
  EXPECT_EQ(frm.lines.size(), 9u);
}

TEST_F(RegCheckTest, BrokenRegistryFileIsReportedOnceAndTheRestGoesOn) {
  const fs::path hkcu = rig.temp.machine.registryFile("HKEY_CURRENT_USER");
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
