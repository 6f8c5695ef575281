// Small text helpers shared by every layer. Letter case for names that Windows
// compares without regard to case (files, registry keys and values, cabinet
// members, DDE services): ASCII only, since the installer's own names are
// ASCII and other bytes compare as they are. Trimming, and splitting paths.
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

inline std::string toLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

inline std::string toUpper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Which ends of a text trim() takes characters from.
enum class Ends { Both, Left, Right };

// The text without the characters of `chars` at the chosen ends.
inline std::string trim(std::string_view s, std::string_view chars = " \t",
                        Ends ends = Ends::Both) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  if (ends != Ends::Right) {
    while (begin < end && chars.find(s[begin]) != std::string_view::npos) ++begin;
  }
  if (ends != Ends::Left) {
    while (end > begin && chars.find(s[end - 1]) != std::string_view::npos) --end;
  }
  return std::string(s.substr(begin, end - begin));
}

// The names of a path: split at "\\" (and at "/" too when `slashSeparates`);
// empty names (leading, trailing or doubled separators) drop out.
inline std::vector<std::string> pathComponents(std::string_view path, bool slashSeparates) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\' || (slashSeparates && c == '/')) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

}  // namespace pm
