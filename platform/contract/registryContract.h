// One set of expectations for every pm::RegistryStore: the Linux machine
// folder's store files and the real registry on Windows. Each platform
// instantiates the suite with its environments; an Env holds `store`, empty
// where the tests write.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace pm::contract {

using Names = std::vector<std::string>;

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
  void write(RootKey root, const std::string& key, const std::string& name, const RegValue& v) {
    ASSERT_TRUE(store.writeValue(root, key, name, v).ok()) << key << " " << name;
  }

  Env env;
  RegistryStore& store = env.store;
};
TYPED_TEST_SUITE_P(RegistryContract);

constexpr RootKey HKCU = RootKey::CurrentUser;
constexpr RootKey HKCR = RootKey::ClassesRoot;
const std::string kApp = "Software\\Korrimel Software\\Pelmora";

TYPED_TEST_P(RegistryContract, ValuesReadBackMakeTheirParentsAndIgnoreCase) {
  EXPECT_EQ(this->read(HKCU, kApp, "AppPath"), std::nullopt);
  EXPECT_FALSE(this->exists(HKCU, kApp));
  EXPECT_TRUE(this->exists(HKCU, ""));  // the root itself
  EXPECT_TRUE(this->store.valueNames(HKCU, kApp).value().empty());

  this->write(HKCU, kApp, "AppPath", RegValue::string("one"));
  EXPECT_TRUE(this->exists(HKCU, "Software\\Korrimel Software"));
  EXPECT_FALSE(this->exists(HKCU, "Software\\Korrimel"));
  EXPECT_FALSE(this->exists(HKCR, kApp));  // the roots are apart
  this->write(HKCU, "SOFTWARE\\korrimel software\\PELMORA\\", "APPPATH", RegValue::string("two"));
  EXPECT_EQ(this->read(HKCU, "software\\Korrimel Software\\pelmora", "apppath"),
            RegValue::string("two"));
  // The first spelling stays; a trailing backslash names the same key.
  this->write(HKCU, kApp + "\\", "Second", RegValue::string("2"));
  EXPECT_EQ(this->store.valueNames(HKCU, kApp).value(), (Names{"AppPath", "Second"}));
}

TYPED_TEST_P(RegistryContract, DefaultValuesNumbersAndOddText) {
  const std::string type = "Pelmora.Document", dsn = "Software\\ODBC\\ODBC.INI\\Dorvane";
  this->write(HKCR, type, "", RegValue::string("Pelmora Document"));
  this->write(HKCR, type, "(Default)", RegValue::string("named"));
  EXPECT_EQ(this->read(HKCR, type, ""), RegValue::string("Pelmora Document"));
  EXPECT_EQ(this->store.valueNames(HKCR, type).value(), (Names{"", "(Default)"}));

  this->write(HKCU, dsn, "Max", RegValue::number(0xFFFFFFFFu));
  EXPECT_EQ(this->read(HKCU, dsn, "Max"), RegValue::number(0xFFFFFFFFu));
  this->write(HKCU, dsn, "Max", RegValue::string("x"));  // a value changes its type
  EXPECT_EQ(this->read(HKCU, dsn, "Max"), RegValue::string("x"));

  const std::string odd = "a \"quoted\" C:\\path\\ ; [x] = @ \xc3\xa9";
  const std::string oddKey = "Software\\Odd [key] \"q\"", oddName = "name \"with\" \\ = [";
  this->write(HKCU, oddKey, oddName, RegValue::string(odd));
  EXPECT_EQ(this->read(HKCU, oddKey, oddName), RegValue::string(odd));
  this->write(HKCU, "Software\\Empty", "e", RegValue::string(""));
  EXPECT_EQ(this->read(HKCU, "Software\\Empty", "e"), RegValue::string(""));
}

TYPED_TEST_P(RegistryContract, CreatedKeysExistWithoutValues) {
  const std::string sources = "Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
  ASSERT_TRUE(this->store.createKey(HKCU, sources).ok());
  EXPECT_TRUE(this->exists(HKCU, "software\\odbc\\odbc.ini\\odbc data sources"));
  EXPECT_TRUE(this->store.valueNames(HKCU, sources).value().empty());
  ASSERT_TRUE(this->store.createKey(HKCU, "Software\\ODBC").ok());  // again: nothing changes
  EXPECT_TRUE(this->exists(HKCU, sources));
}

TYPED_TEST_P(RegistryContract, TextWithLineBreaksOrNulIsRefusedAndChangesNothing) {
  auto& store = this->store;
  this->write(HKCU, "Software\\A", "n", RegValue::string("old"));
  EXPECT_FALSE(store.writeValue(HKCU, "Software\\A", "n", RegValue::string("two\r\nlines")).ok());
  EXPECT_FALSE(
      store.writeValue(HKCU, "Software\\A", "n", RegValue::string(std::string("a\0b", 3))).ok());
  EXPECT_FALSE(store.writeValue(HKCU, "Software\\A", "x\ny", RegValue::string("v")).ok());
  EXPECT_FALSE(store.createKey(HKCU, "Software\\line\nbreak").ok());
  EXPECT_EQ(this->read(HKCU, "Software\\A", "n"), RegValue::string("old"));
  EXPECT_EQ(store.valueNames(HKCU, "Software\\A").value(), Names{"n"});
  EXPECT_FALSE(this->exists(HKCU, "Software\\line\nbreak"));
}

REGISTER_TYPED_TEST_SUITE_P(RegistryContract, ValuesReadBackMakeTheirParentsAndIgnoreCase,
                            DefaultValuesNumbersAndOddText, CreatedKeysExistWithoutValues,
                            TextWithLineBreaksOrNulIsRefusedAndChangesNothing);

}  // namespace pm::contract
