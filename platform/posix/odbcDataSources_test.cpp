#include "platform/posix/odbcDataSources.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "database/testDatabase.h"

namespace pm::posix {
namespace {

using pm::testing::MemoryRegistry;
using pm::testing::ScratchFolder;
namespace fs = std::filesystem;

constexpr const char* kList = "Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr const char* kAccess = "Microsoft Access Driver (*.mdb)";

void registerSource(MemoryRegistry& reg, const std::string& name, const std::string& listedAs,
                    const std::string& driver, const std::string& dbq) {
  if (!listedAs.empty())
    reg.writeValue(RootKey::CurrentUser, kList, name, RegValue::string(listedAs));
  const std::string key = "SOFTWARE\\ODBC\\ODBC.INI\\" + name;
  reg.createKey(RootKey::CurrentUser, key);
  if (!driver.empty())
    reg.writeValue(RootKey::CurrentUser, key, "Driver", RegValue::string(driver));
  if (!dbq.empty()) reg.writeValue(RootKey::CurrentUser, key, "DBQ", RegValue::string(dbq));
}

class OdbcDataSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = OdbcDataSources::findSqliteDriver();
    if (driver.empty()) GTEST_SKIP() << "SQLite ODBC driver not installed";
  }
  ScratchFolder scratch;
  Machine machine{scratch.path() / "machine"};
  MemoryRegistry reg;
  fs::path driver;
};

TEST_F(OdbcDataSourcesTest, FindsAnInstalledSqliteDriver) {
  EXPECT_TRUE(driver.is_absolute());
  EXPECT_EQ(driver.filename(), "libsqlite3odbc.so");
  EXPECT_TRUE(fs::is_regular_file(driver));
}

TEST_F(OdbcDataSourcesTest, OnlyListedAccessSourcesWithKeyAndDatabaseAreCarriedOver) {
  registerSource(reg, "Dorvane", kAccess, "C:\\windows\\system32\\odbcjt32.dll",
                 "C:\\Program Files\\Pelmora\\Dorvane.mdb");
  // Access by its driver file alone, under another list text.
  registerSource(reg, "Ledger", "Access", "C:\\WINDOWS\\System32\\ODBCJT32.DLL",
                 "Z:\\srv\\ledger.mdb");
  registerSource(reg, "Warehouse", "SQL Server", "C:\\windows\\system32\\sqlsrv32.dll",
                 "C:\\x.mdb");                     // another driver
  registerSource(reg, "NoFile", kAccess, "", "");  // no DBQ
  reg.writeValue(RootKey::CurrentUser, kList, "Ghost", RegValue::string(kAccess));  // no key
  registerSource(reg, "Unlisted", "", "odbcjt32.dll", "C:\\u.mdb");  // not in the list

  OdbcDataSources sources(machine, reg);
  auto ini = sources.deriveIni();
  ASSERT_TRUE(ini) << ini.message();
  const std::string expected =
      "\n[Dorvane]\nDescription=Microsoft Access Driver (*.mdb) (SQLite)\nDriver=" +
      driver.string() +
      "\nDatabase=" + (machine.root() / "drive_c/Program Files/Pelmora/Dorvane.mdb").string() +
      "\nNoCreat=1\n\n[Ledger]\nDescription=Microsoft Access Driver (*.mdb) (SQLite)\nDriver=" +
      driver.string() + "\nDatabase=/srv/ledger.mdb\nNoCreat=1\n";
  ASSERT_GE(ini->size(), expected.size());
  EXPECT_EQ(ini->substr(ini->find("\n[")), expected);
  EXPECT_EQ(ini->find("Warehouse"), std::string::npos);
  EXPECT_EQ(ini->find("Ghost"), std::string::npos);
  EXPECT_EQ(ini->find("Unlisted"), std::string::npos);
}

TEST_F(OdbcDataSourcesTest, PrepareWritesTheIniAndIsqlReachesTheDatabase) {
  const fs::path folder = machine.root() / "drive_c" / "Program Files" / "Pelmora";
  fs::create_directories(folder);
  pm::testing::makeProductDatabase(folder / "Dorvane.mdb", "Korrimel");
  // The registered path differs in letter case from the file, as Windows allows.
  registerSource(reg, "Dorvane", kAccess, "C:\\windows\\system32\\odbcjt32.dll",
                 "C:\\PROGRAM FILES\\pelmora\\DORVANE.MDB");

  OdbcDataSources sources(machine, reg);
  ASSERT_TRUE(sources.prepare());
  EXPECT_EQ(std::string(std::getenv("ODBCINI")), sources.iniFile().string());
  EXPECT_EQ(std::string(std::getenv("ODBCSYSINI")), sources.systemFolder().string());
  EXPECT_TRUE(fs::is_directory(sources.systemFolder()));
  const std::string ini = pm::testing::readFile(sources.iniFile());
  EXPECT_NE(ini.find("Database=" + (folder / "Dorvane.mdb").string() + "\n"), std::string::npos)
      << ini;

  if (pm::testing::runShell("command -v isql").empty()) GTEST_SKIP() << "isql not installed";
  int exitCode = -1;
  const std::string out = pm::testing::runShell(
      "echo 'SELECT CompanyName FROM Company' | isql -b -d, Dorvane 2>&1", &exitCode);
  EXPECT_EQ(exitCode, 0) << out;
  EXPECT_NE(out.find("Korrimel"), std::string::npos) << out;
}

TEST_F(OdbcDataSourcesTest, AnUnreadableRegistryFailsAndLeavesTheIniAlone) {
  registerSource(reg, "Dorvane", kAccess, "odbcjt32.dll", "C:\\Dorvane.mdb");
  OdbcDataSources sources(machine, reg);
  ASSERT_TRUE(sources.prepare());
  const std::string before = pm::testing::readFile(sources.iniFile());
  reg.failReads = true;
  const Status status = sources.prepare();
  EXPECT_FALSE(status);
  EXPECT_NE(status.message().find("registry unreadable"), std::string::npos);
  EXPECT_EQ(pm::testing::readFile(sources.iniFile()), before);
}

TEST_F(OdbcDataSourcesTest, AStoreThatCannotListStillFindsTheInstallersSource) {
  // Only the four calls of the base interface: no listing.
  struct NoListing : RegistryStore {
    explicit NoListing(MemoryRegistry& r) : r(r) {}
    Result<std::optional<RegValue>> readValue(RootKey a, const std::string& b,
                                              const std::string& c) override {
      return r.readValue(a, b, c);
    }
    Status writeValue(RootKey a, const std::string& b, const std::string& c,
                      const RegValue& d) override {
      return r.writeValue(a, b, c, d);
    }
    Status createKey(RootKey a, const std::string& b) override { return r.createKey(a, b); }
    Result<bool> keyExists(RootKey a, const std::string& b) override { return r.keyExists(a, b); }
    MemoryRegistry& r;
  } store(reg);
  registerSource(reg, "Dorvane", kAccess, "odbcjt32.dll", "C:\\Dorvane.mdb");
  registerSource(reg, "Other", kAccess, "odbcjt32.dll", "C:\\Other.mdb");
  OdbcDataSources sources(machine, store);
  auto ini = sources.deriveIni();
  ASSERT_TRUE(ini);
  EXPECT_NE(ini->find("[Dorvane]"), std::string::npos);
  EXPECT_EQ(ini->find("[Other]"), std::string::npos);
}

}  // namespace
}  // namespace pm::posix
