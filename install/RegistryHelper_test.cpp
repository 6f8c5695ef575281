#include "install/RegistryHelper.h"

#include <gtest/gtest.h>

#include "install/modRegistry.h"
#include "tests/fakeRegistryStore.h"

namespace pm {
namespace {

constexpr RootKey HKCU = RootKey::CurrentUser;
constexpr const char* kDsn = "Software\\ODBC\\ODBC.INI\\Dorvane";

TEST(RegistryHelper, ReadsNumbersAsTextNothingAsEmptyAndRaisesStoreFailures) {
  testing::FakeRegistryStore store;
  RegistryHelper helper(store);
  store.set(HKCU, kDsn, "SafeTransactions", RegValue::number(0));
  store.set(HKCU, kDsn, "Big", RegValue::number(0xFFFFFFFFu));
  std::string text = "left over";
  EXPECT_EQ(helper.ReadStringValue(HKCU, kDsn, "Missing", text), 0);
  EXPECT_EQ(text, "");
  // A number that exists reads as a non-empty text, zero included.
  helper.ReadStringValue(HKCU, kDsn, "SafeTransactions", text);
  EXPECT_EQ(text, "0");
  helper.ReadStringValue(HKCU, kDsn, "Big", text);
  EXPECT_EQ(text, "4294967295");

  store.failReads = "HKEY_CURRENT_USER.reg: line 3: missing closing quote";
  // What the store says reaches the report through the error (see dirCheck's tests).
  EXPECT_THROW(helper.ReadStringValue(HKCU, kDsn, "Big", text), Error);
  EXPECT_EQ(text, "4294967295");
  store.failWrites = "disk full";
  EXPECT_THROW(helper.WriteStringValue(HKCU, kDsn, "n", "v"), Error);
}

TEST(modRegistry, SetsValuesByTheirWindowsEncodingAndReturnsCodesNotExceptions) {
  testing::FakeRegistryStore store;
  RegKeyHandle key;
  ASSERT_EQ(RegCreateKeyA(store, HKCU, kDsn, key), ERROR_SUCCESS_CODE);
  // A caller that counts the terminating NUL gets the same text.
  EXPECT_EQ(RegSetValueExA(store, key, "Yes", 0, ValueType::String, "Yes", 4), 0);
  EXPECT_EQ(store.value(HKCU, kDsn, "Yes"), RegValue::string("Yes"));
  EXPECT_EQ(RegSetValueExA(store, key, "UID", 0, ValueType::String, "", 0), 0);
  EXPECT_EQ(store.value(HKCU, kDsn, "UID"), RegValue::string(""));
  const unsigned char buffer[4] = {0x00, 0x08, 0x00, 0x00};  // 2048, little-endian
  EXPECT_EQ(RegSetValueExA(store, key, "MaxBufferSize", 0, ValueType::Dword, buffer, 4), 0);
  EXPECT_EQ(store.value(HKCU, kDsn, "MaxBufferSize"), RegValue::number(2048));
  // A number needs exactly 4 bytes; nothing is written otherwise.
  EXPECT_NE(RegSetValueExA(store, key, "Short", 0, ValueType::Dword, buffer, 3), 0);
  EXPECT_EQ(store.value(HKCU, kDsn, "Short"), std::nullopt);

  store.failWrites = "cannot write";
  EXPECT_NE(RegSetValueExA(store, key, "x", 0, ValueType::String, "x", 1), 0);
  RegKeyHandle refused;
  EXPECT_NE(RegCreateKeyA(store, HKCU, "Software\\Other", refused), 0);
  EXPECT_FALSE(refused.open);
  store.failWrites.clear();

  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_NE(RegCloseKey(key), 0);
  EXPECT_NE(RegSetValueExA(store, key, "Late", 0, ValueType::String, "x", 1), 0);
  EXPECT_EQ(store.value(HKCU, kDsn, "Late"), std::nullopt);
}

}  // namespace
}  // namespace pm
