#include "console/RegistryHelper.h"

#include <gtest/gtest.h>

#include "console/modRegistry.h"
#include "tests/fakeRegistryStore.h"

namespace pm {
namespace {

constexpr RootKey HKCU = RootKey::CurrentUser;
constexpr RootKey HKCR = RootKey::ClassesRoot;

TEST(RegistryHelper, ReadsStringsNumbersAndNothing) {
  testing::FakeRegistryStore store;
  RegistryHelper helper(store);
  std::string text = "left over";
  EXPECT_EQ(helper.ReadStringValue(HKCU, "Software\\Korrimel Software\\Pelmora", "AppPath", text),
            0);
  EXPECT_EQ(text, "");  // missing: empty, and no error

  store.set(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverId", RegValue::number(25));
  store.set(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "SafeTransactions", RegValue::number(0));
  store.set(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Big", RegValue::number(0xFFFFFFFFu));
  store.set(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "UID", RegValue::string(""));
  helper.ReadStringValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverId", text);
  EXPECT_EQ(text, "25");
  // A number that exists reads as a non-empty text, zero included.
  helper.ReadStringValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "SafeTransactions", text);
  EXPECT_EQ(text, "0");
  helper.ReadStringValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Big", text);
  EXPECT_EQ(text, "4294967295");
  text = "x";
  helper.ReadStringValue(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "UID", text);
  EXPECT_EQ(text, "");
}

TEST(RegistryHelper, WritesCreateTheirKeysAndReadBackAtOnce) {
  testing::FakeRegistryStore store;
  RegistryHelper helper(store);
  const std::string uninstall =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora\\";
  EXPECT_EQ(helper.WriteStringValue(HKCU, uninstall, "DisplayName", "Pelmora v.1.9.5"), 0);
  EXPECT_EQ(helper.WriteStringValue(HKCR, ".pmd", "", "Pelmora.Document"), 0);
  std::string text;
  helper.ReadStringValue(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora",
                         "displayname", text);
  EXPECT_EQ(text, "Pelmora v.1.9.5");
  helper.ReadStringValue(HKCR, ".PMD", "", text);
  EXPECT_EQ(text, "Pelmora.Document");
  EXPECT_EQ(store.value(HKCR, ".pmd", ""), RegValue::string("Pelmora.Document"));
}

TEST(RegistryHelper, AFailingStoreRaisesAnError) {
  testing::FakeRegistryStore store;
  RegistryHelper helper(store);
  std::string text = "kept";
  store.failReads = "HKEY_CURRENT_USER.reg: line 3: missing closing quote";
  try {
    helper.ReadStringValue(HKCU, "Software\\A", "n", text);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), store.failReads);
    EXPECT_EQ(e.source(), "RegistryHelper");
    EXPECT_NE(e.number(), 0);
  }
  EXPECT_EQ(text, "kept");
  store.failWrites = "disk full";
  EXPECT_THROW(helper.WriteStringValue(HKCU, "Software\\A", "n", "v"), Error);
}

TEST(modRegistry, SetsStringsAndNumbersByTheirWindowsEncoding) {
  testing::FakeRegistryStore store;
  RegKeyHandle key;
  ASSERT_EQ(RegCreateKeyA(store, HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", key),
            ERROR_SUCCESS_CODE);
  EXPECT_TRUE(store.keyExists(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane").value());

  const std::string fil = "MS Access;";
  EXPECT_EQ(RegSetValueExA(store, key, "FIL", 0, ValueType::String, fil.data(),
                           static_cast<std::uint32_t>(fil.size())),
            0);
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "FIL"),
            RegValue::string("MS Access;"));
  // A caller that counts the terminating NUL gets the same text.
  EXPECT_EQ(RegSetValueExA(store, key, "Yes", 0, ValueType::String, "Yes", 4), 0);
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Yes"), RegValue::string("Yes"));
  EXPECT_EQ(RegSetValueExA(store, key, "UID", 0, ValueType::String, "", 0), 0);
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "UID"), RegValue::string(""));

  const unsigned char driverId[4] = {25, 0, 0, 0};
  const unsigned char buffer[4] = {0x00, 0x08, 0x00, 0x00};  // 2048, little-endian
  EXPECT_EQ(RegSetValueExA(store, key, "DriverID", 0, ValueType::Dword, driverId, 4), 0);
  EXPECT_EQ(RegSetValueExA(store, key, "MaxBufferSize", 0, ValueType::Dword, buffer, 4), 0);
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "DriverID"),
            RegValue::number(25));
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "MaxBufferSize"),
            RegValue::number(2048));
  // A number needs exactly 4 bytes; nothing is written otherwise.
  EXPECT_NE(RegSetValueExA(store, key, "Short", 0, ValueType::Dword, driverId, 3), 0);
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Short"), std::nullopt);

  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_NE(RegCloseKey(key), 0);
  EXPECT_NE(RegSetValueExA(store, key, "Late", 0, ValueType::String, "x", 1), 0);
  EXPECT_EQ(store.value(HKCU, "Software\\ODBC\\ODBC.INI\\Dorvane", "Late"), std::nullopt);
}

TEST(modRegistry, StoreFailuresBecomeErrorCodesNotExceptions) {
  testing::FakeRegistryStore store;
  store.failWrites = "cannot write";
  RegKeyHandle key;
  EXPECT_NE(RegCreateKeyA(store, HKCU, "Software\\ODBC", key), 0);
  EXPECT_FALSE(key.open);
  store.failWrites.clear();
  ASSERT_EQ(RegCreateKeyA(store, HKCU, "Software\\ODBC", key), 0);
  store.failWrites = "cannot write";
  EXPECT_NE(RegSetValueExA(store, key, "x", 0, ValueType::String, "x", 1), 0);
}

}  // namespace
}  // namespace pm
