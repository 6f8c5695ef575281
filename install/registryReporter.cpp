#include "install/registryReporter.h"

namespace pm {

std::optional<std::string> RegistryReporter::read(RootKey root, const std::string& key,
                                                  const std::string& name) {
  try {
    std::string text;
    frm_.registry().ReadStringValue(root, key, name, text);
    return text;
  } catch (const Error& e) {
    failed("read", root, key, name, e);
    return std::nullopt;
  }
}

void RegistryReporter::write(RootKey root, const std::string& key, const std::string& name,
                             const std::string& text) {
  try {
    frm_.registry().WriteStringValue(root, key, name, text);
  } catch (const Error& e) {
    failed("written", root, key, name, e);
  }
}

void RegistryReporter::failed(const char* what, RootKey root, const std::string& key,
                              const std::string& name, const Error& e) {
  if (e.description() == lastFailure_) return;
  lastFailure_ = e.description();
  frm_.reportFailure(stage_, registryFailureLine(what, root, key, name, e));
}

}  // namespace pm
