#include "platform/win32/win32RegistryStore.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

HKEY rootHandle(RootKey root) {
  return root == RootKey::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

std::string keyName(RootKey root, const std::string& keyPath) {
  return rootKeyName(root) + (keyPath.empty() ? "" : "\\" + keyPath);
}

std::wstring subKey(const std::string& keyPath) {
  std::string k = keyPath;
  while (!k.empty() && k.back() == '\\') k.pop_back();
  return widen(k);
}

Status failure(const std::string& what, LSTATUS code) {
  return Status::failure(what + ": " + errorMessage(static_cast<unsigned long>(code)));
}

bool refusedText(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// An open key, closed at the end of the scope.
struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

}  // namespace

Result<std::optional<RegValue>> Win32RegistryStore::readValue(RootKey root,
                                                              const std::string& keyPath,
                                                              const std::string& valueName) {
  Key key;
  LSTATUS rc = RegOpenKeyExW(rootHandle(root), subKey(keyPath).c_str(), 0, KEY_QUERY_VALUE, &key.h);
  if (rc == ERROR_FILE_NOT_FOUND) return std::optional<RegValue>();
  if (rc != ERROR_SUCCESS) return failure("cannot open " + keyName(root, keyPath), rc);
  const std::wstring name = widen(valueName);
  DWORD type = 0, size = 0;
  rc = RegQueryValueExW(key.h, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) return std::optional<RegValue>();
  if (rc != ERROR_SUCCESS)
    return failure("cannot read " + keyName(root, keyPath) + "\\" + valueName, rc);
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  rc = RegQueryValueExW(key.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                        &size);
  if (rc != ERROR_SUCCESS)
    return failure("cannot read " + keyName(root, keyPath) + "\\" + valueName, rc);
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD n = 0;
    std::memcpy(&n, data.data(), sizeof n);
    return std::optional<RegValue>(RegValue::number(n));
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();  // stored with or without it
    return std::optional<RegValue>(RegValue::string(narrow(data)));
  }
  return Status::failure(keyName(root, keyPath) + "\\" + valueName +
                         " is neither text nor a number");
}

Status Win32RegistryStore::writeValue(RootKey root, const std::string& keyPath,
                                      const std::string& valueName, const RegValue& value) {
  if (refusedText(keyPath) || refusedText(valueName) ||
      (value.type == ValueType::String && refusedText(value.text)))
    return Status::failure("a line break or NUL cannot be stored in " + keyName(root, keyPath));
  Key key;
  LSTATUS rc = RegCreateKeyExW(rootHandle(root), subKey(keyPath).c_str(), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key.h, nullptr);
  if (rc != ERROR_SUCCESS) return failure("cannot create " + keyName(root, keyPath), rc);
  const std::wstring name = widen(valueName);
  if (value.type == ValueType::Dword) {
    const DWORD n = value.dword;
    rc = RegSetValueExW(key.h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n),
                        sizeof n);
  } else {
    const std::wstring text = widen(value.text);
    rc = RegSetValueExW(key.h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (rc != ERROR_SUCCESS)
    return failure("cannot write " + keyName(root, keyPath) + "\\" + valueName, rc);
  // On disk before the call returns, as the store promises.
  RegFlushKey(key.h);
  return {};
}

Status Win32RegistryStore::createKey(RootKey root, const std::string& keyPath) {
  if (refusedText(keyPath))
    return Status::failure("a line break or NUL cannot be stored in " + keyName(root, keyPath));
  Key key;
  const LSTATUS rc = RegCreateKeyExW(rootHandle(root), subKey(keyPath).c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key.h, nullptr);
  if (rc != ERROR_SUCCESS) return failure("cannot create " + keyName(root, keyPath), rc);
  RegFlushKey(key.h);
  return {};
}

Result<bool> Win32RegistryStore::keyExists(RootKey root, const std::string& keyPath) {
  Key key;
  const LSTATUS rc =
      RegOpenKeyExW(rootHandle(root), subKey(keyPath).c_str(), 0, KEY_QUERY_VALUE, &key.h);
  if (rc == ERROR_FILE_NOT_FOUND) return false;
  if (rc != ERROR_SUCCESS) return failure("cannot open " + keyName(root, keyPath), rc);
  return true;
}

Result<std::vector<std::string>> Win32RegistryStore::valueNames(RootKey root,
                                                                const std::string& keyPath) {
  std::vector<std::string> names;
  Key key;
  LSTATUS rc = RegOpenKeyExW(rootHandle(root), subKey(keyPath).c_str(), 0, KEY_QUERY_VALUE, &key.h);
  if (rc == ERROR_FILE_NOT_FOUND) return names;
  if (rc != ERROR_SUCCESS) return failure("cannot open " + keyName(root, keyPath), rc);
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD length = 16384;
    rc = RegEnumValueW(key.h, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return failure("cannot list " + keyName(root, keyPath), rc);
    names.push_back(narrow(std::wstring_view(name, length)));
  }
  return names;
}

}  // namespace pm::win32
