#include "tests/fakeRegistryStore.h"

#include <cctype>
#include "platform/text.h"

namespace pm::testing {
namespace {

std::string sortKey(const std::string& path) {
  std::string key = toLower(path);
  for (char& c : key)
    if (c == '\\') c = '\x01';
  return key;
}

// The store files cannot hold a line break or NUL in a name or a string, so
// neither does this store.
Status checkText(const std::string& text, const char* what) {
  if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    return Status::failure(std::string("The registry cannot store a ") + what +
                           " that holds a line break or NUL character");
  return {};
}

}  // namespace

std::string FakeRegistryStore::fullPath(RootKey root, const std::string& keyPath) {
  std::string out = rootKeyName(root);
  std::string part;
  for (std::size_t i = 0; i <= keyPath.size(); ++i) {
    if (i == keyPath.size() || keyPath[i] == '\\') {
      if (!part.empty()) out += "\\" + part;
      part.clear();
    } else {
      part += keyPath[i];
    }
  }
  return out;
}

FakeRegistryStore::Key& FakeRegistryStore::ensure(RootKey root, const std::string& keyPath) {
  const std::string full = fullPath(root, keyPath);
  Key* key = nullptr;
  for (std::size_t i = 0; i <= full.size(); ++i) {
    if (i == full.size() || full[i] == '\\') {
      const std::string p = full.substr(0, i);
      key = &keys_.try_emplace(sortKey(p), Key{p, {}}).first->second;
    }
  }
  return *key;
}

const FakeRegistryStore::Key* FakeRegistryStore::find(RootKey root,
                                                      const std::string& keyPath) const {
  auto it = keys_.find(sortKey(fullPath(root, keyPath)));
  return it == keys_.end() ? nullptr : &it->second;
}

Result<std::optional<RegValue>> FakeRegistryStore::readValue(RootKey root,
                                                             const std::string& keyPath,
                                                             const std::string& valueName) {
  if (!failReads.empty()) return Status::failure(failReads);
  return value(root, keyPath, valueName);
}

std::optional<RegValue> FakeRegistryStore::value(RootKey root, const std::string& keyPath,
                                                 const std::string& valueName) const {
  const Key* key = find(root, keyPath);
  if (!key) return std::nullopt;
  for (const auto& [name, v] : key->values) {
    if (toLower(name) == toLower(valueName)) return v;
  }
  return std::nullopt;
}

void FakeRegistryStore::set(RootKey root, const std::string& keyPath, const std::string& valueName,
                            const RegValue& value) {
  Key& key = ensure(root, keyPath);
  for (auto& [name, v] : key.values) {
    if (toLower(name) == toLower(valueName)) {
      v = value;
      return;
    }
  }
  key.values.emplace_back(valueName, value);
}

Status FakeRegistryStore::writeValue(RootKey root, const std::string& keyPath,
                                     const std::string& valueName, const RegValue& value) {
  if (!failWrites.empty()) return Status::failure(failWrites);
  if (rootKeyName(root).empty()) return Status::failure("Unknown registry root key");
  if (Status s = checkText(keyPath, "key name"); !s) return s;
  if (Status s = checkText(valueName, "value name"); !s) return s;
  if (value.type == ValueType::String) {
    if (Status s = checkText(value.text, "string value"); !s) return s;
  }
  set(root, keyPath, valueName, value);
  return {};
}

Status FakeRegistryStore::createKey(RootKey root, const std::string& keyPath) {
  if (!failWrites.empty()) return Status::failure(failWrites);
  if (rootKeyName(root).empty()) return Status::failure("Unknown registry root key");
  if (Status s = checkText(keyPath, "key name"); !s) return s;
  ensure(root, keyPath);
  return {};
}

Result<bool> FakeRegistryStore::keyExists(RootKey root, const std::string& keyPath) {
  if (!failReads.empty()) return Status::failure(failReads);
  return fullPath(root, keyPath) == rootKeyName(root) || find(root, keyPath) != nullptr;
}

Result<std::vector<std::string>> FakeRegistryStore::valueNames(RootKey root,
                                                               const std::string& keyPath) {
  if (!failReads.empty()) return Status::failure(failReads);
  std::vector<std::string> names;
  if (const Key* key = find(root, keyPath)) {
    for (const auto& [name, v] : key->values) names.push_back(name);
  }
  return names;
}

}  // namespace pm::testing
