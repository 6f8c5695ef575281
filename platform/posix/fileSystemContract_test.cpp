// The file-system contract (platform/contract) for the machine folder's real
// file system; the Windows build holds its own to the same contract.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/contract/fileSystemContract.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/testMachine.h"

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

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, FileSystemContract, ::testing::Types<PosixEnv>);

}  // namespace
}  // namespace pm::contract
