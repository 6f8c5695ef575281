// RegistryHelper: the registry access object through which the stages read and
// write string values (the application path, the uninstall entry, the document
// types, the data-source list entry). One instance lives in the install state.
//
// Root keys are the Windows handle values (RootKey). The empty value name is the
// key's default value; "(Default)" is an ordinary value name. Each call returns a
// status that callers ignore; a failure of the store underneath raises pm::Error
// (source "RegistryHelper"), which a stage with an error handler catches.
#pragma once

#include <string>

#include "platform/registry.h"
#include "platform/result.h"

namespace pm {

class RegistryHelper {
 public:
  explicit RegistryHelper(RegistryStore& store) : store_(store) {}

  // Fills `text` with the value's data: a string as stored, a number as its
  // decimal text; empty when the value or its key does not exist. Returns 0.
  long ReadStringValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                       std::string& text);
  // Stores `text` as a string value, creating missing keys. Returns 0.
  long WriteStringValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                        const std::string& text);

 private:
  RegistryStore& store_;
};

// The report line for a registry value that could not be read or written
// (`what`: "read" or "written"): "Registry value not read: <root>\<key> <value>:
// <description> <source> <number>", the default value named "(default value)".
std::string registryFailureLine(const char* what, RootKey root, const std::string& keyPath,
                                const std::string& valueName, const Error& e);

}  // namespace pm
