#include "install/modRegistry.h"

#include <cstring>

namespace pm {
namespace {

constexpr long ERROR_INVALID_HANDLE_CODE = 6;
constexpr long ERROR_INVALID_PARAMETER_CODE = 87;
constexpr long ERROR_CANTWRITE_CODE = 1013;

}  // namespace

long RegCreateKeyA(RegistryStore& store, RootKey root, const std::string& subKey,
                   RegKeyHandle& result) {
  const Status created = store.createKey(root, subKey);
  if (!created) {
    result = RegKeyHandle{root, subKey, false, created.message()};
    return ERROR_CANTWRITE_CODE;
  }
  result = RegKeyHandle{root, subKey, true, {}};
  return ERROR_SUCCESS_CODE;
}

long RegSetValueExA(RegistryStore& store, const RegKeyHandle& key, const std::string& valueName,
                    std::uint32_t /*reserved*/, ValueType type, const void* data,
                    std::uint32_t cbData, std::string* failure) {
  const auto fail = [&](long code, const std::string& message) {
    if (failure) *failure = message;
    return code;
  };
  if (!key.open)
    return fail(ERROR_INVALID_HANDLE_CODE,
                key.failure.empty() ? "the key " + key.path + " is not open" : key.failure);
  RegValue value;
  if (type == ValueType::Dword) {
    if (cbData != 4 || data == nullptr)
      return fail(ERROR_INVALID_PARAMETER_CODE, "a number takes four bytes");
    unsigned char b[4];
    std::memcpy(b, data, 4);
    value = RegValue::number(
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
  } else {
    std::string text(static_cast<const char*>(data), data ? cbData : 0);
    // A terminating NUL, where a caller passes one, is not part of the text.
    if (!text.empty() && text.back() == '\0') text.pop_back();
    value = RegValue::string(std::move(text));
  }
  const Status written = store.writeValue(key.root, key.path, valueName, value);
  return written ? ERROR_SUCCESS_CODE : fail(ERROR_CANTWRITE_CODE, written.message());
}

long RegCloseKey(RegKeyHandle& key) {
  if (!key.open) return ERROR_INVALID_HANDLE_CODE;
  key = RegKeyHandle{};
  return ERROR_SUCCESS_CODE;
}

}  // namespace pm
