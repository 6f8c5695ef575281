// The file-system contract (platform/contract) for the machine folder's real
// file system and the in-memory one the stage tests use.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/contract/fileSystemContract.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeFileSystem.h"

namespace pm::contract {
namespace {

struct PosixEnv {
  static constexpr bool kWindows = false;
  posix::TempMachine temp;
  posix::PosixFileSystem fs{temp.machine};
  std::filesystem::path cwd = std::filesystem::current_path();
  ~PosixEnv() { std::filesystem::current_path(cwd); }
  void makeReadOnly(const std::string& path) { ::chmod(temp.machine.toHost(path).c_str(), 0444); }
};

struct FakeEnv {
  static constexpr bool kWindows = false;
  testing::FakeFileSystem fs;
  void makeReadOnly(const std::string& path) { fs.setReadOnly(path); }
};

struct EnvNames {
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, PosixEnv> ? "Posix" : "Fake";
  }
};
using Implementations = ::testing::Types<PosixEnv, FakeEnv>;
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, FileSystemContract, Implementations, EnvNames);

}  // namespace
}  // namespace pm::contract
