#include "install/basCommon.h"

namespace pm {

namespace {

std::string trimRight(const std::string& s) {
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string trimBoth(const std::string& s) {
  const auto begin = s.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return s.substr(begin, s.find_last_not_of(' ') - begin + 1);
}

}  // namespace

void EnsureTrailingSeparator(std::string& path) {
  const std::string trimmed = trimBoth(path);
  const char last = trimmed.empty() ? '\0' : trimmed.back();
  if (last != '/' && last != '\\') path = trimRight(path) + "\\";
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
  text = trimBoth(text);
  // A lone quotation mark is left as it is: it is not a pair.
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace pm
