#include "tests/fakeRegistryStore.h"

#include <cctype>

#include "platform/text.h"

namespace pm::testing {
namespace {

Status refuseBreaks(const std::string& text) {
  if (text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) return {};
  return Status::failure("The registry cannot store a line break or NUL character");
}

}  // namespace

FakeRegistryStore::Values* FakeRegistryStore::key(RootKey root, const std::string& keyPath,
                                                  bool make) {
  std::string path = toLower(rootKeyName(root)), part;
  for (std::size_t i = 0; i <= keyPath.size(); ++i) {
    if (i < keyPath.size() && keyPath[i] != '\\') {
      part += static_cast<char>(std::tolower(static_cast<unsigned char>(keyPath[i])));
    } else if (!part.empty()) {
      path += "\\" + part;
      part.clear();
      if (make) keys_.try_emplace(path);
    }
  }
  const auto it = keys_.find(path);
  return it == keys_.end() ? nullptr : &it->second;
}

Result<std::optional<RegValue>> FakeRegistryStore::readValue(RootKey root,
                                                             const std::string& keyPath,
                                                             const std::string& valueName) {
  if (const Values* values = key(root, keyPath, false)) {
    for (const auto& [name, v] : *values)
      if (toLower(name) == toLower(valueName)) return std::optional<RegValue>(v);
  }
  return std::optional<RegValue>();
}

Status FakeRegistryStore::writeValue(RootKey root, const std::string& keyPath,
                                     const std::string& valueName, const RegValue& value) {
  for (const std::string& text : {valueName, value.text})
    if (Status s = refuseBreaks(text); !s) return s;
  if (Status s = createKey(root, keyPath); !s) return s;
  Values& values = *key(root, keyPath, true);
  for (auto& [name, v] : values) {
    if (toLower(name) == toLower(valueName)) {
      v = value;
      return {};
    }
  }
  values.emplace_back(valueName, value);
  return {};
}

Status FakeRegistryStore::createKey(RootKey root, const std::string& keyPath) {
  if (rootKeyName(root).empty()) return Status::failure("Unknown registry root key");
  if (Status s = refuseBreaks(keyPath); !s) return s;
  key(root, keyPath, true);
  return {};
}

Result<bool> FakeRegistryStore::keyExists(RootKey root, const std::string& keyPath) {
  return keyPath.find_first_not_of('\\') == std::string::npos || key(root, keyPath, false);
}

Result<std::vector<std::string>> FakeRegistryStore::valueNames(RootKey root,
                                                               const std::string& keyPath) {
  std::vector<std::string> names;
  if (const Values* values = key(root, keyPath, false))
    for (const auto& [name, v] : *values) names.push_back(name);
  return names;
}

}  // namespace pm::testing
