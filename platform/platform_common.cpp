#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/registry.h"

namespace pm {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

Result<std::vector<std::string>> readLines(FileSystem& fs, const std::string& path) {
  auto text = fs.readText(path);
  if (!text) return text.status();
  return splitLines(text.value());
}

std::string rootKeyName(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RootKey::CurrentUser:
      return "HKEY_CURRENT_USER";
  }
  return {};
}

}  // namespace pm
