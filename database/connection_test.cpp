#include "database/connection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "database/testDatabase.h"
#include "platform/posix/odbcDataSources.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"

namespace pm::ado {
namespace {

// The product database registered as the data source Dorvane in a registry
// store of a temporary machine, reached through the data sources that the registry derives.
class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (pm::posix::OdbcDataSources::findSqliteDriver().empty())
      GTEST_SKIP() << "SQLite ODBC driver not installed";
    db = temp.folder / "Dorvane.mdb";
    pm::testing::makeProductDatabase(db, "Korrimel");
    point(db);
  }
  // Registers Dorvane for `database`.
  void point(const std::filesystem::path& database) {
    ASSERT_TRUE(reg.writeValue(RootKey::CurrentUser, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources",
                               "Dorvane", RegValue::string("Microsoft Access Driver (*.mdb)")));
    ASSERT_TRUE(reg.writeValue(RootKey::CurrentUser, "Software\\ODBC\\ODBC.INI\\Dorvane", "DBQ",
                               RegValue::string(temp.machine.toWindows(database))));
    sources = std::make_unique<pm::posix::OdbcDataSources>(temp.machine, reg);
  }
  std::unique_ptr<Connection> open() {
    auto cn = std::make_unique<Connection>(*sources);
    cn->ConnectionString = kConnectionString;
    cn->Open();
    return cn;
  }

  pm::posix::TempMachine temp;
  pm::posix::PosixRegistryStore reg{temp.machine};
  std::unique_ptr<pm::posix::OdbcDataSources> sources;
  std::filesystem::path db;
};

// Reading rows, quoted names, the Access delete and transactions are played by
// the registration stage's tests on this same driver.
TEST_F(ConnectionTest, FailuresRaiseErrorsNamingTheirComponentAndCreateNothing) {
  EXPECT_THROW(open()->Execute("Select * from NoSuchTable"), Error);
  Connection unregistered(*sources);
  unregistered.ConnectionString = "DSN=NotRegisteredHere;password=kelpfern;";
  try {
    unregistered.Open();
    ADD_FAILURE() << "opened";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("IM002"), std::string::npos) << e.description();
    EXPECT_NE(e.source().find("Driver Manager"), std::string::npos) << e.source();
  }
  EXPECT_FALSE(unregistered.isOpen());
  // A registered database that is gone is not made anew.
  std::filesystem::remove(db);
  point(db);
  EXPECT_THROW(open(), Error);
  EXPECT_FALSE(std::filesystem::exists(db));
}

TEST_F(ConnectionTest, EachOpenSeesTheDataSourceAsRegisteredNow) {
  open()->Close();
  const auto other = temp.folder / "Other.mdb";
  pm::testing::makeProductDatabase(other, "Second");
  point(other);
  EXPECT_EQ(open()->Execute("Select * from Company")->field("CompanyName"), "Second");
}

TEST(DriverDialect, RewritesOnlyTheAccessDeleteOutsideLiterals) {
  for (const char* access : {"Delete * from T", "DELETE  *\tFROM T", "delete*from T"})
    EXPECT_EQ(Connection::toDriverDialect(access), "DELETE FROM T") << access;
  // Already in the driver's form, or not that statement at all: unchanged.
  for (const char* same :
       {"DELETE FROM T", "Undelete * from T", "Delete * fromage",
        "INSERT INTO T VALUES ('it''s Delete * from')", "Select \"Delete * from\" from T"}) {
    EXPECT_EQ(Connection::toDriverDialect(same), same);
  }
}

}  // namespace
}  // namespace pm::ado
