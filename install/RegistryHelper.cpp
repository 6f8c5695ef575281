#include "install/RegistryHelper.h"

#include <cstdint>

#include "platform/result.h"

namespace pm {
namespace {

constexpr const char* kSource = "RegistryHelper";
// The number raised with a failure of the store (E_FAIL, as a COM component would).
constexpr long kFailure = static_cast<std::int32_t>(0x80004005u);

}  // namespace

long RegistryHelper::ReadStringValue(RootKey root, const std::string& keyPath,
                                     const std::string& valueName, std::string& text) {
  auto value = store_.readValue(root, keyPath, valueName);
  if (!value) throw Error(value.message(), kSource, kFailure);
  if (!value->has_value()) {
    text.clear();
  } else if ((*value)->type == ValueType::Dword) {
    text = std::to_string((*value)->dword);
  } else {
    text = (*value)->text;
  }
  return 0;
}

long RegistryHelper::WriteStringValue(RootKey root, const std::string& keyPath,
                                      const std::string& valueName, const std::string& text) {
  const Status written = store_.writeValue(root, keyPath, valueName, RegValue::string(text));
  if (!written) throw Error(written.message(), kSource, kFailure);
  return 0;
}

}  // namespace pm
