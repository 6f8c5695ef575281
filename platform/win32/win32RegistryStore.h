// The registry store on the real registry (RegCreateKeyExW, RegSetValueExW,
// RegQueryValueExW...): HKEY_CURRENT_USER and HKEY_CLASSES_ROOT themselves, no
// store file. Text with a line break or a NUL is refused as on every platform,
// so that what one installer writes reads back the same everywhere.
#pragma once

#include "platform/registry.h"

namespace pm::win32 {

class Win32RegistryStore : public RegistryStore {
 public:
  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) override;
  Status writeValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                    const RegValue& value) override;
  Status createKey(RootKey root, const std::string& keyPath) override;
  Result<bool> keyExists(RootKey root, const std::string& keyPath) override;
  Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) override;
};

}  // namespace pm::win32
