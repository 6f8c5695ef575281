// The registry store: keys under the two root keys the installer uses, each
// holding named values (string or 32-bit number) and a default value (name "").
//
// Key paths are written without a leading backslash ("Software\ODBC\ODBC.INI");
// a trailing backslash is allowed and ignored. Key and value names compare
// without regard to letter case and keep the case they were created with.
// Every write is on disk before the call returns; a store that cannot be read or
// parsed makes the call fail with a message that names the file and line, and is
// never overwritten.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

namespace pm {

enum class RootKey : std::uint32_t {
  ClassesRoot = 0x80000000u,  // HKEY_CLASSES_ROOT
  CurrentUser = 0x80000001u,  // HKEY_CURRENT_USER
};

// "HKEY_CLASSES_ROOT" / "HKEY_CURRENT_USER"; empty for any other handle value.
std::string rootKeyName(RootKey root);

enum class ValueType : std::uint32_t {
  String = 1,  // REG_SZ
  Dword = 4,   // REG_DWORD
};

struct RegValue {
  ValueType type = ValueType::String;
  std::string text;        // REG_SZ data
  std::uint32_t dword = 0; // REG_DWORD data

  static RegValue string(std::string s) { return RegValue{ValueType::String, std::move(s), 0}; }
  static RegValue number(std::uint32_t n) { return RegValue{ValueType::Dword, {}, n}; }
  bool operator==(const RegValue&) const = default;
};

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // The value, or nothing when the value or its key does not exist. Fails only
  // when the store itself cannot be read.
  virtual Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                                    const std::string& valueName) = 0;
  // Sets a value, creating the key and its parents where needed.
  virtual Status writeValue(RootKey root, const std::string& keyPath,
                            const std::string& valueName, const RegValue& value) = 0;
  // Creates the key and its parents where needed (no values).
  virtual Status createKey(RootKey root, const std::string& keyPath) = 0;
  // True when the key exists.
  virtual Result<bool> keyExists(RootKey root, const std::string& keyPath) = 0;
  // The names of the values directly in the key ("" for a default value that is
  // set), in the order the store keeps them; empty when the key does not exist.
  // A store that cannot list its values fails.
  virtual Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) {
    (void)root;
    (void)keyPath;
    return Status::failure("this registry store cannot list the values of a key");
  }
};

}  // namespace pm
