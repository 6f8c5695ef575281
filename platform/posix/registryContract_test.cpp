// One set of expectations for every pm::RegistryStore: the machine folder's
// store files and the in-memory store the stage tests use.
#include <gtest/gtest.h>

#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeRegistryStore.h"

namespace pm {
namespace {

struct PosixEnv {
  posix::TempMachine temp;
  posix::PosixRegistryStore store{temp.machine};
};

struct FakeEnv {
  testing::FakeRegistryStore store;
};

template <typename Env>
class RegistryContract : public ::testing::Test {
 protected:
  std::optional<RegValue> read(RootKey root, const std::string& key, const std::string& name) {
    auto r = store.readValue(root, key, name);
    EXPECT_TRUE(r.ok()) << r.message();
    return r ? r.value() : std::nullopt;
  }
  bool exists(RootKey root, const std::string& key) {
    auto r = store.keyExists(root, key);
    EXPECT_TRUE(r.ok()) << r.message();
    return r && r.value();
  }

  Env env;
  RegistryStore& store = env.store;
};

using Implementations = ::testing::Types<PosixEnv, FakeEnv>;
class Names {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, PosixEnv> ? "Posix" : "Fake";
  }
};
TYPED_TEST_SUITE(RegistryContract, Implementations, Names);

constexpr RootKey HKCU = RootKey::CurrentUser;
constexpr RootKey HKCR = RootKey::ClassesRoot;
const std::string kApp = "Software\\Korrimel Software\\Pelmora";

TYPED_TEST(RegistryContract, MissingKeysAndValuesReadAsNothing) {
  EXPECT_EQ(this->read(HKCU, kApp, "AppPath"), std::nullopt);
  EXPECT_FALSE(this->exists(HKCU, kApp));
  EXPECT_TRUE(this->exists(HKCU, ""));  // the root itself
  EXPECT_TRUE(this->store.valueNames(HKCU, kApp).value().empty());
}

TYPED_TEST(RegistryContract, WrittenValuesReadBackAndMakeTheirParents) {
  auto& store = this->store;
  ASSERT_TRUE(
      store.writeValue(HKCU, kApp, "AppPath", RegValue::string("C:\\Program Files\\Pelmora")).ok());
  EXPECT_EQ(this->read(HKCU, kApp, "AppPath"), RegValue::string("C:\\Program Files\\Pelmora"));
  EXPECT_TRUE(this->exists(HKCU, "Software"));
  EXPECT_TRUE(this->exists(HKCU, "Software\\Korrimel Software"));
  EXPECT_FALSE(this->exists(HKCU, "Software\\Korrimel"));
  EXPECT_EQ(this->read(HKCU, kApp, "Other"), std::nullopt);
  // The two roots are apart.
  EXPECT_FALSE(this->exists(HKCR, kApp));
  EXPECT_EQ(this->read(HKCR, kApp, "AppPath"), std::nullopt);
}

TYPED_TEST(RegistryContract, NamesIgnoreCaseAndKeepTheirFirstCase) {
  auto& store = this->store;
  ASSERT_TRUE(store.writeValue(HKCU, kApp, "AppPath", RegValue::string("one")).ok());
  ASSERT_TRUE(store
                  .writeValue(HKCU, "SOFTWARE\\korrimel software\\PELMORA\\", "APPPATH",
                              RegValue::string("two"))
                  .ok());
  EXPECT_EQ(this->read(HKCU, "software\\Korrimel Software\\pelmora", "apppath"),
            RegValue::string("two"));
  EXPECT_EQ(store.valueNames(HKCU, kApp).value(), std::vector<std::string>{"AppPath"});
  // A trailing backslash names the same key.
  ASSERT_TRUE(store.writeValue(HKCU, kApp + "\\", "Second", RegValue::string("2")).ok());
  EXPECT_EQ(store.valueNames(HKCU, kApp).value(), (std::vector<std::string>{"AppPath", "Second"}));
}

TYPED_TEST(RegistryContract, DefaultValuesNumbersAndOddText) {
  auto& store = this->store;
  const std::string type = "Pelmora.Document";
  ASSERT_TRUE(store.writeValue(HKCR, type, "", RegValue::string("Pelmora Document")).ok());
  ASSERT_TRUE(store.writeValue(HKCR, type, "(Default)", RegValue::string("named")).ok());
  EXPECT_EQ(this->read(HKCR, type, ""), RegValue::string("Pelmora Document"));
  EXPECT_EQ(this->read(HKCR, type, "(Default)"), RegValue::string("named"));
  EXPECT_EQ(store.valueNames(HKCR, type).value(), (std::vector<std::string>{"", "(Default)"}));

  ASSERT_TRUE(
      store.writeValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverId", RegValue::number(25))
          .ok());
  ASSERT_TRUE(store
                  .writeValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Max",
                              RegValue::number(0xFFFFFFFFu))
                  .ok());
  EXPECT_EQ(this->read(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverId"),
            RegValue::number(25));
  EXPECT_EQ(this->read(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Max"),
            RegValue::number(0xFFFFFFFFu));
  // A value changes its type when written again.
  ASSERT_TRUE(
      store.writeValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverId", RegValue::string("x"))
          .ok());
  EXPECT_EQ(this->read(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverId"),
            RegValue::string("x"));

  const std::string odd = "a \"quoted\" C:\\path\\ ; [x] = @ \xc3\xa9";
  ASSERT_TRUE(store
                  .writeValue(HKCU, "Software\\Odd [key] \"q\"", "name \"with\" \\ = [",
                              RegValue::string(odd))
                  .ok());
  EXPECT_EQ(this->read(HKCU, "Software\\Odd [key] \"q\"", "name \"with\" \\ = ["),
            RegValue::string(odd));
  ASSERT_TRUE(store.writeValue(HKCU, "Software\\Empty", "e", RegValue::string("")).ok());
  EXPECT_EQ(this->read(HKCU, "Software\\Empty", "e"), RegValue::string(""));
}

TYPED_TEST(RegistryContract, CreatedKeysExistWithoutValues) {
  auto& store = this->store;
  ASSERT_TRUE(store.createKey(HKCU, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources").ok());
  EXPECT_TRUE(this->exists(HKCU, "software\\odbc\\odbc.ini\\odbc data sources"));
  EXPECT_TRUE(this->exists(HKCU, "Software\\ODBC"));
  EXPECT_TRUE(
      store.valueNames(HKCU, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources").value().empty());
  ASSERT_TRUE(store.createKey(HKCU, "Software\\ODBC").ok());  // again: nothing changes
  EXPECT_TRUE(this->exists(HKCU, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources"));
}

TYPED_TEST(RegistryContract, TextWithLineBreaksOrNulIsRefusedAndChangesNothing) {
  auto& store = this->store;
  ASSERT_TRUE(store.writeValue(HKCU, "Software\\A", "n", RegValue::string("old")).ok());
  EXPECT_FALSE(store.writeValue(HKCU, "Software\\A", "n", RegValue::string("two\r\nlines")).ok());
  EXPECT_FALSE(
      store.writeValue(HKCU, "Software\\A", "n", RegValue::string(std::string("a\0b", 3))).ok());
  EXPECT_FALSE(store.writeValue(HKCU, "Software\\A", "x\ny", RegValue::string("v")).ok());
  EXPECT_FALSE(store.createKey(HKCU, "Software\\line\nbreak").ok());
  EXPECT_EQ(this->read(HKCU, "Software\\A", "n"), RegValue::string("old"));
  EXPECT_EQ(store.valueNames(HKCU, "Software\\A").value(), std::vector<std::string>{"n"});
  EXPECT_FALSE(this->exists(HKCU, "Software\\line\nbreak"));
}

}  // namespace
}  // namespace pm
