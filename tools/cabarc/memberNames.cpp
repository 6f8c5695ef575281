#include "tools/cabarc/memberNames.h"

#include <cctype>

namespace pm::cabarc {
namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

char fold(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string_view lastPart(std::string_view path) {
  const auto at = path.find_last_of("\\/");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

}  // namespace

SafeName checkMemberName(std::string_view stored) {
  SafeName out;
  auto refuse = [&](std::string why) {
    out.ok = false;
    out.reason = std::move(why);
    out.parts.clear();
    return out;
  };
  if (stored.empty()) return refuse("the name is empty");
  if (isSeparator(stored.front())) return refuse("the name starts at the root of a drive");
  if (stored.size() >= 2 && stored[1] == ':') return refuse("the name holds a drive");
  for (char c : stored) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20) return refuse("the name holds a control character");
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      return refuse(std::string("the name holds the character '") + c + "'");
  }
  if (isSeparator(stored.back())) return refuse("the name ends in a separator");
  std::string current;
  auto finish = [&]() -> bool {
    if (current == "..") return false;
    if (!current.empty() && current != ".") out.parts.push_back(current);
    current.clear();
    return true;
  };
  for (char c : stored) {
    if (isSeparator(c)) {
      if (!finish()) return refuse("the name climbs out of the destination (\"..\")");
    } else {
      current += c;
    }
  }
  if (current == ".") return refuse("the name has no file part");
  if (!finish()) return refuse("the name climbs out of the destination (\"..\")");
  if (out.parts.empty()) return refuse("the name has no file part");
  out.ok = true;
  return out;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  // Iterative glob with one backtrack point for the last "*".
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool patternPicksMember(std::string_view pattern, std::string_view storedName) {
  if (pattern.find_first_of("\\/") == std::string_view::npos)
    return wildcardMatch(pattern, lastPart(storedName));
  std::string a(pattern), b(storedName);
  for (char& c : a)
    if (c == '/') c = '\\';
  for (char& c : b)
    if (c == '/') c = '\\';
  return wildcardMatch(a, b);
}

bool hasWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

}  // namespace pm::cabarc
