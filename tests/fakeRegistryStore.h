// An in-memory registry store with the rules of pm::RegistryStore: key and value
// names compare without regard to letter case and keep the case they were made
// with, parents of a key exist with it, a trailing "\" of a key path is ignored.
// It can be told to fail its reads or its writes, as a damaged store file would.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace pm::testing {

class FakeRegistryStore : public RegistryStore {
 public:
  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) override;
  Status writeValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                    const RegValue& value) override;
  Status createKey(RootKey root, const std::string& keyPath) override;
  Result<bool> keyExists(RootKey root, const std::string& keyPath) override;
  Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) override;

  // ---- for tests ----
  // A value as stored, or nothing (never fails).
  std::optional<RegValue> value(RootKey root, const std::string& keyPath,
                                const std::string& valueName) const;
  // Sets a value directly, without counting a write.
  void set(RootKey root, const std::string& keyPath, const std::string& valueName,
           const RegValue& value);

  // When not empty, reads (readValue, keyExists, valueNames) or writes (writeValue,
  // createKey) fail with this message.
  std::string failReads;
  std::string failWrites;

 private:
  struct Key {
    std::string path;  // "HKEY_CURRENT_USER\Software\..."
    std::vector<std::pair<std::string, RegValue>> values;
  };
  static std::string fullPath(RootKey root, const std::string& keyPath);
  Key& ensure(RootKey root, const std::string& keyPath);
  const Key* find(RootKey root, const std::string& keyPath) const;

  std::map<std::string, Key> keys_;  // by tree-order key
};

}  // namespace pm::testing
