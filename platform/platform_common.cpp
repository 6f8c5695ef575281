#include <cctype>
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

std::string absoluteWindowsPath(const std::string& path, const std::string& workingFolder) {
  std::string prefix;  // "C:" and so on
  std::string rest;
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    prefix =
        std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
    rest = path.substr(2);
  } else if (!path.empty() && path[0] == '/') {
    prefix = "Z:";
    rest = path;
  } else {
    prefix = workingFolder.substr(0, 2);
    rest = (!path.empty() && path[0] == '\\') ? path : workingFolder.substr(2) + "\\" + path;
  }
  std::vector<std::string> parts;
  std::string current;
  auto flush = [&] {
    if (current == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!current.empty() && current != ".") {
      parts.push_back(current);
    }
    current.clear();
  };
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      current += c;
    }
  }
  flush();
  std::string out = prefix;
  for (const std::string& p : parts) out += "\\" + p;
  if (parts.empty()) out += "\\";
  return out;
}

Result<std::string> FileSystem::readText(const std::string& path) {
  std::string text;
  Status read = readPieces(path, [&](std::string_view piece) {
    text.append(piece);
    return true;
  });
  if (!read) return read;
  return text;
}

Result<std::vector<std::string>> readLines(FileSystem& fs, const std::string& path) {
  auto text = fs.readText(path);
  if (!text) return text.status();
  return splitLines(fs.fromAnsi(text.value()));
}

Status writeAnsiText(FileSystem& fs, const std::string& path, const std::string& text) {
  return fs.writeText(path, fs.toAnsi(text));
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
