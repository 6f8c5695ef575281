// The one way a stage tells a registry value it could not read or write: the
// line of registryFailureLine, recorded as the stage's failure. The value stays
// as it was and the stage goes on. A store that fails the same way for every
// value (an unreadable registry file) is reported once.
#pragma once

#include <optional>
#include <string>

#include "install/installWindow.h"

namespace pm {

class RegistryReporter {
 public:
  RegistryReporter(InstallWindow& frm, std::string stage) : frm_(frm), stage_(std::move(stage)) {}

  // The value's text through the window's RegistryHelper; nullopt when the
  // store could not be read.
  std::optional<std::string> read(RootKey root, const std::string& key, const std::string& name);
  // Writes a string value through the window's RegistryHelper.
  void write(RootKey root, const std::string& key, const std::string& name,
             const std::string& text);
  // A read ("read") or write ("written") made some other way that failed.
  void failed(const char* what, RootKey root, const std::string& key, const std::string& name,
              const Error& e);

 private:
  InstallWindow& frm_;
  std::string stage_;
  std::string lastFailure_;
};

}  // namespace pm
