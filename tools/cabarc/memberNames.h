// Member names of a cabinet: which are safe to write, and which a pattern picks.
//
// A stored name is a relative path with "\" (or "/") between its parts. It is
// refused when it could land outside the destination folder or cannot be a
// Windows file name: a leading separator, a drive ("C:"), a ".." part, an empty
// last part, or a character Windows forbids in names (control characters and
// < > : " | ? *).
#pragma once

#include "platform/ansiText.h"

#include <string>
#include <string_view>
#include <vector>

namespace pm::cabarc {

struct SafeName {
  bool ok = false;
  std::string reason;              // why it was refused (when !ok)
  std::vector<std::string> parts;  // the folder parts and the file name ("." dropped)
};

SafeName checkMemberName(std::string_view stored);

// Windows wildcard match without regard to ASCII letter case: "*" any run of
// characters, "?" exactly one; "*.*" matches every name, with or without a dot.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// True when the command-line pattern picks the stored member. A pattern without
// a separator is matched against the member's file name (its last part); one
// with a separator against the whole stored path ("/" and "\" alike).
bool patternPicksMember(std::string_view pattern, std::string_view storedName);

bool hasWildcard(std::string_view pattern);

// A stored name without the UTF-8 attribute is in the Windows ANSI code page of
// the machine that made the cabinet. Where the system has no ANSI code page
// (Linux) it is taken as Windows-1252, the Western one (pm::cp1252ToUtf8), so
// that the tools of both systems write the same names.
using pm::cp1252ToUtf8;

}  // namespace pm::cabarc
