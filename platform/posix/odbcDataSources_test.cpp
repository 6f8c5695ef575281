#include "platform/posix/odbcDataSources.h"

#include <gtest/gtest.h>

#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
constexpr const char* kAccess = "Microsoft Access Driver (*.mdb)";

class OdbcDataSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = OdbcDataSources::findSqliteDriver();
    if (driver.empty()) GTEST_SKIP() << "SQLite ODBC driver not installed";
    ASSERT_TRUE(driver.is_absolute() && fs::is_regular_file(driver)) << driver;
  }
  void set(const std::string& key, const std::string& name, const std::string& value) {
    ASSERT_TRUE(reg.writeValue(RootKey::CurrentUser, "Software\\ODBC\\ODBC.INI\\" + key, name,
                               RegValue::string(value)));
  }
  void registerSource(const std::string& name, const std::string& listedAs,
                      const std::string& driverFile, const std::string& dbq) {
    if (!listedAs.empty()) set("ODBC Data Sources", name, listedAs);
    ASSERT_TRUE(reg.createKey(RootKey::CurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\" + name));
    if (!driverFile.empty()) set(name, "Driver", driverFile);
    if (!dbq.empty()) set(name, "DBQ", dbq);
  }
  std::string section(const std::string& name, const fs::path& database) {
    return "\n[" + name +
           "]\nDescription=Microsoft Access Driver (*.mdb) (SQLite)\nDriver=" + driver.string() +
           "\nDatabase=" + database.string() + "\nNoCreat=1\n";
  }

  TempMachine temp;
  PosixRegistryStore reg{temp.machine};
  fs::path driver;
};

TEST_F(OdbcDataSourcesTest, OnlyListedAccessSourcesWithKeyAndDatabaseAreCarriedOver) {
  registerSource("Dorvane", kAccess, "C:\\windows\\system32\\odbcjt32.dll",
                 "C:\\Program Files\\Pelmora\\Dorvane.mdb");
  // Access by its driver file alone, under another list text.
  registerSource("Ledger", "Access", "C:\\WINDOWS\\System32\\ODBCJT32.DLL", "Z:\\srv\\l.mdb");
  registerSource("Warehouse", "SQL Server", "sqlsrv32.dll", "C:\\x.mdb");  // another driver
  registerSource("NoFile", kAccess, "", "");                               // no DBQ
  set("ODBC Data Sources", "Ghost", kAccess);                              // no key of its own
  registerSource("Unlisted", "", "odbcjt32.dll", "C:\\u.mdb");             // not in the list

  auto ini = OdbcDataSources(temp.machine, reg).deriveIni();
  ASSERT_TRUE(ini) << ini.message();
  EXPECT_EQ(ini->substr(std::min(ini->find("\n["), ini->size())),
            section("Dorvane", temp.machine.root() / "drive_c/Program Files/Pelmora/Dorvane.mdb") +
                section("Ledger", "/srv/l.mdb"));
}

// Preparing the environment and what the driver manager then reaches through
// the file is the end-to-end roads' part.
}  // namespace
}  // namespace pm::posix
