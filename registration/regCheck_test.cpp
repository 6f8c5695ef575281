#include "registration/regCheck.h"

#include <gtest/gtest.h>

#include "database/testDatabase.h"
#include "platform/ddeLinks.h"
#include "platform/posix/machine.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
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

// Passes everything to the machine's store and notes each write as
// "ROOT|key|name|text".
class RecordingStore : public RegistryStore {
 public:
  explicit RecordingStore(RegistryStore& inner) : inner_(inner) {}
  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& key,
                                            const std::string& name) override {
    return inner_.readValue(root, key, name);
  }
  Status writeValue(RootKey root, const std::string& key, const std::string& name,
                    const RegValue& value) override {
    writes.push_back(rootKeyName(root) + "|" + key + "|" + name + "|" + value.text);
    return inner_.writeValue(root, key, name, value);
  }
  Status createKey(RootKey root, const std::string& key) override {
    return inner_.createKey(root, key);
  }
  Result<bool> keyExists(RootKey root, const std::string& key) override {
    return inner_.keyExists(root, key);
  }
  Strings writes;

 private:
  RegistryStore& inner_;
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
    testing::sqlite(db,
                    "CREATE TABLE Status (StatusDescription TEXT, StatusDate TEXT, "
                    "StatusValue TEXT);" +
                        rows);
  }
  std::string statusRows() { return testing::sqlite(db, "SELECT * FROM Status ORDER BY rowid;"); }
  std::string value(RootKey root, const std::string& key, const std::string& name) {
    auto v = store.readValue(root, key, name);
    if (!v) return "<failed: " + v.message() + ">";
    if (!v->has_value()) return "<missing>";
    return (*v)->text;
  }
  void typedName(const std::string& name) {
    frm.regNameAnswer = [name](const std::string&) { return name; };
  }

  posix::TempMachine temp;
  posix::Machine& machine = temp.machine;
  posix::PosixRegistryStore store{machine};
  RecordingStore registry{store};
  testing::FakeFileSystem files;
  testing::FakeClock clock;
  testing::FakeProcessRunner processes;
  IniDataSources dataSources{temp.folder / "odbc"};
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{files, clock, processes, registry, dataSources, dde, toolkit, "Z:\\setup"};
  FakeInstallWindow frm{services};
  fs::path db = temp.folder / "Dorvane.mdb";
};

TEST_F(RegCheckTest, FirstRegistrationWritesEveryEntryInOrder) {
  frm.state().appFolder = "D:\\Apps\\Pelmora";
  makeDatabase("INSERT INTO Status VALUES ('Version', '1/1/2020', '1.9.4');");
  typedName("Ann Lee");

  regCheck(frm);

  EXPECT_EQ(frm.lines,
            (Strings{"Environment Settings Check", "Inconsistent new path value.",
                     "Resetting icon variables.", "Please register your name for the install.",
                     "--- Environment values completed.\r\n"}));
  EXPECT_EQ(frm.currentCaption, "Environment");
  EXPECT_FALSE(frm.currentVisible);
  const std::string uninstall = std::string(kUninstallKey) + "\\";
  EXPECT_EQ(
      registry.writes,
      (Strings{"HKEY_CURRENT_USER|Software\\Korrimel Software\\Pelmora|AppPath|D:\\Apps\\Pelmora",
               "HKEY_CURRENT_USER|" + uninstall + "|DisplayName|Pelmora 1.9.5",
               "HKEY_CURRENT_USER|" + uninstall +
                   "|UninstallString|\"C:\\Program Files\\Pelmora\\PMUninstall.exe\"",
               "HKEY_CLASSES_ROOT|pmhTemplate||Pelmora Help File",
               "HKEY_CLASSES_ROOT|pmhTemplate\\DefaultIcon||D:\\Apps\\Pelmora\\pmlra2.ico,0",
               "HKEY_CLASSES_ROOT|pmdDictionary||Pelmora Dictionary File",
               "HKEY_CLASSES_ROOT|pmdDictionary\\DefaultIcon||D:\\Apps\\Pelmora\\books05.ico,0",
               "HKEY_CLASSES_ROOT|pmGoals||Pelmora Goals File",
               "HKEY_CLASSES_ROOT|pmGoals\\DefaultIcon||D:\\Apps\\Pelmora\\goaltarget.ico,0",
               "HKEY_CLASSES_ROOT|.pmh||pmhTemplate", "HKEY_CLASSES_ROOT|.pmd||pmdDictionary",
               "HKEY_CLASSES_ROOT|.pmg||pmGoals"}));

  // On the machine's disk, readable the way the next install reads them.
  EXPECT_EQ(value(RootKey::CurrentUser, kProductKey, "AppPath"), "D:\\Apps\\Pelmora");
  EXPECT_EQ(value(RootKey::CurrentUser, kUninstallKey, "DisplayName"), "Pelmora 1.9.5");
  EXPECT_EQ(value(RootKey::CurrentUser, kUninstallKey, "UninstallString"),
            "\"C:\\Program Files\\Pelmora\\PMUninstall.exe\"");
  EXPECT_EQ(value(RootKey::ClassesRoot, "pmGoals\\DefaultIcon", ""),
            "D:\\Apps\\Pelmora\\goaltarget.ico,0");
  EXPECT_EQ(value(RootKey::ClassesRoot, ".pmd", ""), "pmdDictionary");

  EXPECT_EQ(frm.regNamePresets, (Strings{""}));
  EXPECT_EQ(statusRows(), "Version|1/1/2020|1.9.4\nUserName|12/6/2026|Ann Lee\n");
}

TEST_F(RegCheckTest, PathCheckComparesExactly) {
  struct Case {
    const char* stored;
    bool reported;
  };
  for (const Case& c :
       {Case{"C:\\Program Files\\Pelmora", false}, Case{"c:\\program files\\pelmora", true},
        Case{"C:\\Program Files\\Pelmora\\", true}}) {
    ASSERT_TRUE(
        store.writeValue(RootKey::CurrentUser, kProductKey, "AppPath", RegValue::string(c.stored)));
    FakeInstallWindow window(services);
    window.state().appFolder = "C:\\Program Files\\Pelmora";
    regCheck(window);
    ASSERT_GE(window.lines.size(), 2u);
    EXPECT_EQ(window.lines[1] == "Inconsistent new path value.", c.reported) << c.stored;
    EXPECT_EQ(value(RootKey::CurrentUser, kProductKey, "AppPath"), "C:\\Program Files\\Pelmora");
  }
}

TEST_F(RegCheckTest, NameDialogStartsFromTheStoredRowAndOneRowRemains) {
  struct Case {
    std::string rows;
    std::string preset;
    std::string typed;
  };
  const std::string row = "INSERT INTO Status VALUES ('UserName', '3/4/2019', ";
  for (const Case& c : {
           Case{row + "'Ann');", "Ann", "Ann Lee"},
           Case{"", "", "Ann Lee"},
           Case{row + "'Ann');" + row + "'Bob');", "Ann", "Carol"},
           Case{row + "'');", "", "Dan"},
           Case{row + "NULL);", "", "Eve"},
           // The name reaches the table as typed, quotes included.
           Case{row + "'Ann');", "Ann", "O'Brien"},
           Case{row + "'Ann');", "Ann", "'; DROP TABLE Status; --"},
           // An empty answer is stored as an empty name.
           Case{row + "'Ann');", "Ann", ""},
       }) {
    makeDatabase(c.rows);
    FakeInstallWindow window(services);
    window.state().appFolder = "C:\\Program Files\\Pelmora";
    window.regNameAnswer = [&](const std::string&) { return c.typed; };
    regCheck(window);
    EXPECT_EQ(window.regNamePresets, (Strings{c.preset})) << c.rows;
    EXPECT_EQ(statusRows(), "UserName|12/6/2026|" + c.typed + "\n") << c.rows;
    EXPECT_EQ(window.lines.back(), "--- Environment values completed.\r\n");
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
  EXPECT_EQ(frm.lines[7], "Please register your name for the install.");
  EXPECT_EQ(frm.lines[8], "--- Environment values completed.\r\n");
  EXPECT_EQ(value(RootKey::CurrentUser, kProductKey, "AppPath"), "C:\\Program Files\\Pelmora");
}

TEST_F(RegCheckTest, BrokenRegistryFileIsReportedOnceAndTheRestGoesOn) {
  const fs::path hkcu = machine.registryFile("HKEY_CURRENT_USER");
  const std::string broken = "this is no registry export\r\n[HKEY_CURRENT_USER\r\n";
  testing::writeFile(hkcu, broken);
  makeDatabase("INSERT INTO Status VALUES ('UserName', '3/4/2019', 'Ann');");
  typedName("Ann Lee");

  regCheck(frm);

  ASSERT_EQ(frm.lines.size(), 5u) << ::testing::PrintToString(frm.lines);
  EXPECT_EQ(frm.lines[0], "Environment Settings Check");
  EXPECT_EQ(frm.lines[1].rfind("Registry value not read: HKEY_CURRENT_USER\\Software\\Korrimel "
                               "Software\\Pelmora AppPath: ",
                               0),
            0u)
      << frm.lines[1];
  EXPECT_NE(frm.lines[1].find(" RegistryHelper -2147467259"), std::string::npos) << frm.lines[1];
  EXPECT_EQ(frm.lines[2], "Resetting icon variables.");
  EXPECT_EQ(frm.lines[4], "--- Environment values completed.\r\n");
  EXPECT_FALSE(frm.currentVisible);

  EXPECT_EQ(testing::readFile(hkcu), broken);  // never overwritten
  EXPECT_EQ(value(RootKey::ClassesRoot, ".pmh", ""), "pmhTemplate");
  EXPECT_EQ(statusRows(), "UserName|12/6/2026|Ann Lee\n");
}

}  // namespace
}  // namespace pm
