#include "install/basCommon.h"

#include "platform/text.h"

namespace pm {

void EnsureTrailingSeparator(std::string& path) {
  const std::string trimmed = trim(path, " ");
  const char last = trimmed.empty() ? '\0' : trimmed.back();
  if (last != '/' && last != '\\') path = trim(path, " ", Ends::Right) + "\\";
}

std::string ShortPathOf(FileSystem& fs, std::string longPath) {
  auto shortForm = fs.shortPath(longPath);
  if (!shortForm || shortForm->empty()) return longPath;
  return TrimAtNul(shortForm.value());
}

std::string GetSystemDir(FileSystem& fs) {
  auto folder = fs.systemFolder();
  if (!folder || folder->empty()) return {};
  std::string dir = TrimAtNul(folder.value());
  EnsureTrailingSeparator(dir);
  return dir;
}

void SetBusyPointer(const std::int16_t& pointer, ui::Toolkit& toolkit, std::int16_t& busyDepth) {
  if (pointer == 11) {
    ++busyDepth;
  } else if (pointer == 0) {
    --busyDepth;
    if (busyDepth < 0) busyDepth = 0;
  } else {
    toolkit.setMousePointer(pointer);
    return;
  }
  toolkit.setMousePointer(busyDepth > 0 ? 11 : 0);
}

std::string TrimAtNul(std::string text) {
  const auto nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

std::string UnquotePath(std::string text) {
  text = trim(text, " ");
  // A lone quotation mark is left as it is: it is not a pair.
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace pm
