// The raw registry functions that the data-source registration writes with:
// create or open a key, set a typed value, close the key. Their results are
// Windows error codes (0 is success); the store's own message of a failure is
// kept in the handle (RegCreateKeyA) or left where the caller asks (RegSetValueExA).
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace pm {

// An open key: which root, which path. Empty path and not open after RegCloseKey.
struct RegKeyHandle {
  RootKey root = RootKey::CurrentUser;
  std::string path;
  bool open = false;
  std::string failure;  // why RegCreateKeyA could not open it
};

constexpr long ERROR_SUCCESS_CODE = 0;

// Opens the key, creating it and its parents where needed.
long RegCreateKeyA(RegistryStore& store, RootKey root, const std::string& subKey,
                   RegKeyHandle& result);
// Sets a value: REG_SZ data is `cbData` characters of text (no NUL needed);
// REG_DWORD data is a 32-bit little-endian number, cbData 4.
long RegSetValueExA(RegistryStore& store, const RegKeyHandle& key, const std::string& valueName,
                    std::uint32_t reserved, ValueType type, const void* data, std::uint32_t cbData,
                    std::string* failure = nullptr);
long RegCloseKey(RegKeyHandle& key);

}  // namespace pm
