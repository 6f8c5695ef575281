// The platform contracts (platform/contract) for the machine folder's real
// file system and install lock; the Windows build holds its own to the same
// contracts.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/contract/fileSystemContract.h"
#include "platform/contract/installLockContract.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixInstallLock.h"
#include "platform/posix/testMachine.h"

namespace pm::contract {
namespace {

// Another program (sleep) with the file open as its standard input.
class HeldOpen {
 public:
  explicit HeldOpen(const std::filesystem::path& file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, file.c_str(), O_RDONLY, 0);
    char sleep[] = "sleep", minute[] = "60";
    char* argv[] = {sleep, minute, nullptr};
    if (::posix_spawnp(&pid_, "sleep", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~HeldOpen() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

struct PosixEnv {
  static constexpr bool kWindows = false;
  posix::TempMachine temp;
  posix::PosixFileSystem fs{temp.machine};
  std::filesystem::path cwd = std::filesystem::current_path();
  ~PosixEnv() { std::filesystem::current_path(cwd); }
  void makeReadOnly(const std::string& path) { ::chmod(temp.machine.toHost(path).c_str(), 0444); }
  std::unique_ptr<HeldOpen> holdOpen(const std::string& path) {
    return std::make_unique<HeldOpen>(temp.machine.toHost(path));
  }
  bool makeLink(const std::string& link, const std::string& target, bool) {
    return ::symlink(temp.machine.toHost(target).c_str(), temp.machine.toHost(link).c_str()) == 0;
  }
  static bool removesLinks() { return true; }
};

struct PosixLockEnv : PosixEnv {
  PosixLockEnv() { EXPECT_TRUE(fs.createFolder("C:\\ct").ok()); }
  std::unique_ptr<InstallLock> makeLock() {
    return std::make_unique<posix::PosixInstallLock>(temp.machine);
  }
  // A child process takes the lock and exits without a word.
  void holdAndEnd() {
    const pid_t child = ::fork();
    if (child == 0) {
      posix::PosixInstallLock held(temp.machine);
      ::_exit(held.acquire().ok() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
  }
  std::filesystem::path record() const { return temp.machine.root() / "PMSetup.leftovers"; }
  void forgeRecord(const std::string& text) {
    std::ofstream(record(), std::ios::app) << text;
    ::chmod(record().c_str(), 0600);
  }
  std::string recordName(const std::string& path) { return temp.machine.toHost(path).string(); }
  static bool showsRights() { return true; }
  void distrustRecord(bool others) { ::chmod(record().c_str(), others ? 0620 : 0600); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, FileSystemContract, ::testing::Types<PosixEnv>);
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, InstallLockContract, ::testing::Types<PosixLockEnv>);

}  // namespace
}  // namespace pm::contract
