#include "database/connection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "database/testDatabase.h"

namespace pm::ado {
namespace {

// The product database registered as the data source Dorvane in the registry
// of the machine under test, reached through the data sources registered there.
class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pm::testing::MachineUnderTest::hasSqliteDriver())
      GTEST_SKIP() << "SQLite ODBC driver not installed";
    pm::testing::makeProductDatabase(machine.host(kDatabase), "Korrimel");
    point(kDatabase);
  }
  // Registers Dorvane for `database`.
  void point(const std::string& database) {
    auto& reg = machine.registryStore;
    ASSERT_TRUE(reg.writeValue(RootKey::CurrentUser, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources",
                               "Dorvane", RegValue::string("Microsoft Access Driver (*.mdb)")));
    ASSERT_TRUE(reg.writeValue(RootKey::CurrentUser, "Software\\ODBC\\ODBC.INI\\Dorvane", "DBQ",
                               RegValue::string(database)));
  }
  std::unique_ptr<Connection> open() {
    auto cn = std::make_unique<Connection>(machine.registeredSources);
    cn->ConnectionString = kConnectionString;
    cn->Open();
    return cn;
  }

  static constexpr const char* kDatabase = "C:\\Dorvane.mdb";
  pm::testing::MachineUnderTest machine;
};

// Reading rows, quoted names, the Access delete and transactions are played by
// the registration stage's tests on this same driver.
TEST_F(ConnectionTest, FailuresRaiseErrorsNamingTheirComponentAndCreateNothing) {
  EXPECT_THROW(open()->Execute("Select * from NoSuchTable"), Error);
  Connection unregistered(machine.registeredSources);
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
  std::filesystem::remove(machine.host(kDatabase));
  EXPECT_THROW(open(), Error);
  EXPECT_FALSE(std::filesystem::exists(machine.host(kDatabase)));
}

TEST_F(ConnectionTest, EachOpenSeesTheDataSourceAsRegisteredNow) {
  open()->Close();
  pm::testing::makeProductDatabase(machine.host("C:\\Other.mdb"), "Second");
  point("C:\\Other.mdb");
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
