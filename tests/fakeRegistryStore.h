// An in-memory registry store with the rules of pm::RegistryStore: key and value
// names compare without regard to letter case and keep the case they were made
// with, parents of a key exist with it, a trailing "\" of a key path is ignored,
// and no name or string holds a line break or NUL (the store files cannot).
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

 private:
  using Values = std::vector<std::pair<std::string, RegValue>>;
  // The key's values, made with its parents when `make`, else nullptr when missing.
  Values* key(RootKey root, const std::string& keyPath, bool make);

  std::map<std::string, Values> keys_;  // by lower-case full path
};

}  // namespace pm::testing
