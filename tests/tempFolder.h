// A fresh folder under the system's temporary folder for one test, removed
// with everything in it at the end: the same on Linux and on Windows.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace pm::testing {

struct TempFolder {
  TempFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() /
                             ("pmtest-" + std::to_string(random()) + std::to_string(random()));
      // create_directory makes it only when nothing is there yet.
      if (std::filesystem::create_directory(candidate)) {
        path = candidate;
        return;
      }
    }
    throw std::runtime_error("no temporary folder could be made");
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::filesystem::path path;
};

}  // namespace pm::testing
