// A machine folder in a fresh temporary directory, removed with everything in
// it at the end of the test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/posix/machine.h"

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
