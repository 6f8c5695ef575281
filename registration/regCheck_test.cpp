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

class RegCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::MachineUnderTest::hasSqliteDriver())
      GTEST_SKIP() << "SQLite ODBC driver not installed";
    makeDatabase("");
    // The data source Dorvane, as the database stage registers it.
    for (const auto& [key, name, value] :
         {std::tuple{"ODBC Data Sources", "Dorvane",
                     std::string("Microsoft Access Driver (*.mdb)")},
          {"Dorvane", "DBQ", std::string(kDatabase)}})
      ASSERT_TRUE(rig.registryStore.writeValue(RootKey::CurrentUser,
                                               std::string("Software\\ODBC\\ODBC.INI\\") + key,
                                               name, RegValue::string(value)));
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

  static constexpr const char* kDatabase = "C:\\Dorvane.mdb";
  testing::WindowTestRig rig;
  fs::path db = rig.host(kDatabase);
  Services services{{rig.fs, rig.clock, rig.processes, rig.registryStore, rig.registeredSources,
                     rig.dde, "C:\\setup"},
                    rig.toolkit};
  FakeInstallWindow frm{services};
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

// Each value under its own key: the document types' names as default values of
// their keys, the icons as default values of the DefaultIcon keys below them.
TEST_F(RegCheckTest, EveryValueIsWrittenUnderItsOwnKey) {
  frm.state().appFolder = "D:\\Apps\\Pelmora";
  regCheck(frm);
  const RootKey cu = RootKey::CurrentUser, cr = RootKey::ClassesRoot;
  const std::string uninstall =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora\\";
  for (const auto& [root, key, name, expected] :
       std::vector<std::tuple<RootKey, std::string, std::string, std::string>>{
           {cu, "Software\\Korrimel Software\\Pelmora", "AppPath", "D:\\Apps\\Pelmora"},
           {cu, uninstall, "DisplayName", "Pelmora 1.9.5"},
           {cu, uninstall, "UninstallString", "\"C:\\Program Files\\Pelmora\\PMUninstall.exe\""},
           {cr, "pmhTemplate", "", "Pelmora Help File"},
           {cr, "pmhTemplate\\DefaultIcon", "", "D:\\Apps\\Pelmora\\pmlra2.ico,0"},
           {cr, "pmdDictionary", "", "Pelmora Dictionary File"},
           {cr, "pmdDictionary\\DefaultIcon", "", "D:\\Apps\\Pelmora\\books05.ico,0"},
           {cr, "pmGoals", "", "Pelmora Goals File"},
           {cr, "pmGoals\\DefaultIcon", "", "D:\\Apps\\Pelmora\\goaltarget.ico,0"},
           {cr, ".pmh", "", "pmhTemplate"},
           {cr, ".pmd", "", "pmdDictionary"},
           {cr, ".pmg", "", "pmGoals"}})
    EXPECT_EQ(value(root, key, name), expected) << key << " " << name;
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
  EXPECT_EQ(frm.regNamePresets, (Strings{""}));
  EXPECT_EQ(frm.lines.back(), "--- Environment values completed.\r\n");
}

TEST_F(RegCheckTest, BrokenRegistryFileIsReportedOnceAndTheRestGoesOn) {
  const fs::path hkcu = rig.spoilRegistry();
  if (hkcu.empty())
    GTEST_SKIP() << "Windows: the real registry cannot be made unreadable for a test";
  const std::string broken = testing::readFile(hkcu);
  makeDatabase("INSERT INTO Status VALUES ('UserName', '3/4/2019', 'Ann');");
  typedName("Ann Lee");

  regCheck(frm);

  ASSERT_EQ(frm.lines.size(), 5u) << ::testing::PrintToString(frm.lines);
  EXPECT_TRUE(frm.lines[1].starts_with("Registry value not read: HKEY_CURRENT_USER\\Software"))
      << frm.lines[1];
  EXPECT_EQ(testing::readFile(hkcu), broken);  // never overwritten
  EXPECT_EQ(value(RootKey::ClassesRoot, ".pmh", ""), "pmhTemplate");
  // The data source is registered in that store too: the earlier name stays.
  EXPECT_EQ(statusRows(), "UserName|3/4/2019|Ann\n");
}

}  // namespace
}  // namespace pm
