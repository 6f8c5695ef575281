// The Cabarc command line: list, create and extract Microsoft cabinets.
//
//   Cabarc [options] L cabinet
//   Cabarc [options] N cabinet file...
//   Cabarc T cabinet                    (test: read every member through)
//   Cabarc [options] X cabinet [member...] [destination\]
//
// Paths are Windows paths of the machine (C:\..., Z:\... for the host's "/"),
// host paths, or relative to the working folder. Nobody is there to answer a
// question, so the tool never asks: without -o an existing file is left alone
// and the tool says so.
#pragma once

#include <concepts>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "tools/cabarc/cabinetWriter.h"

namespace pm::cabarc {

// Exit codes. When several problems meet, the smallest non-zero code is returned.
enum ExitCode : int {
  kOk = 0,
  kUsage = 1,              // the command line is not understood
  kCabinetUnreadable = 2,  // missing, not a cabinet, truncated or damaged headers
  kMemberFailed = 3,       // a member could not be decompressed or written
  kMemberRefused = 4,      // a member's name would land outside the destination
  kNotFound = 5,           // a named member is not in the cabinet
  kLeftAlone = 6,          // a file exists and -o was not given
  kCannotCreate = 7,       // N: a file cannot be added or the cabinet written
};

struct Invocation {
  char command = 0;  // 'L', 'N', 'T' or 'X' (upper case; "x" is the same as "X")
  bool overwrite = false;
  bool keepPaths = false;
  bool recurse = false;
  Compression compression = Compression::Mszip;
  std::string cabinet;
  std::vector<std::string> names;          // members (X) or files (N)
  std::optional<std::string> destination;  // X: the last argument when it ends in "\" or "/"
};

// Where the tool's messages go: a C stream (standard output or error). The
// tool does without iostreams: their locale set-up alone would double the
// memory a run of the tool takes.
class Writer {
 public:
  explicit Writer(std::FILE* file) : file_(file) {}
  Writer& operator<<(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), file_);
    return *this;
  }
  Writer& operator<<(char c) {
    std::fputc(c, file_);
    return *this;
  }
  template <std::integral T>
  requires(!std::same_as<T, char> && !std::same_as<T, bool>) Writer& operator<<(T n) {
    return *this << std::string_view(std::to_string(n));
  }

 private:
  std::FILE* file_;
};

// Parses the arguments after the program name.
Result<Invocation> parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

// Where a path of the command line (UTF-8) is on this system: on Linux the
// machine folder's mapping, on Windows the path itself.
using HostPath = std::function<std::string(const std::string& path)>;

// Runs one command line; returns the exit code.
int run(const std::vector<std::string>& args, const HostPath& toHost, Writer& out, Writer& err);

}  // namespace pm::cabarc
