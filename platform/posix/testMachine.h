// Test helpers of every layer: a machine folder in a fresh temporary directory,
// removed with everything in it at the end of the test, and whole files.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/posix/machine.h"
#include "tests/wholeFiles.h"

namespace pm::posix {

inline std::filesystem::path makeTempFolder(const char* prefix = "pmtest") {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

struct TempMachine {
  TempMachine() : folder(makeTempFolder()), machine(folder / "machine") {}
  ~TempMachine() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  TempMachine(const TempMachine&) = delete;
  TempMachine& operator=(const TempMachine&) = delete;

  std::filesystem::path folder;
  Machine machine;
};

}  // namespace pm::posix

namespace pm::testing {

inline std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace pm::testing
