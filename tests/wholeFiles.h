// Whole files read and written in one go, for checking what a test left on
// disk: the same on Linux and on Windows.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pm::testing {

inline std::string readFile(const std::filesystem::path& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace pm::testing
