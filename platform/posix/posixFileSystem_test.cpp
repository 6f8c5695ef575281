// What only the machine folder's file system can show: files replaced by
// rename, no leftovers, host permissions and local time on disk.
#include "platform/posix/posixFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir()); }
  fs::path dir() const { return temp.machine.root() / "drive_c/work"; }
  unsigned modeOf(const char* name) const {
    struct stat st {};
    EXPECT_EQ(::stat((dir() / name).c_str(), &st), 0) << name;
    return st.st_mode & 07777;
  }

  TempMachine temp;
  PosixFileSystem files{temp.machine};
};

TEST_F(PosixFileSystemTest, ReplacingAFileNeverTruncatesItInPlace) {
  ASSERT_TRUE(files.writeText("C:\\work\\Dorvane.mdb", "the user's data").ok());
  ASSERT_TRUE(files.writeText("C:\\work\\blank.mdb", "blank").ok());
  // A reader of the old file keeps seeing all of it: the new one came by rename.
  const int old = ::open((dir() / "Dorvane.mdb").c_str(), O_RDONLY);
  ASSERT_GE(old, 0);
  ASSERT_TRUE(files.copyFile("C:\\work\\blank.mdb", "C:\\work\\Dorvane.mdb").ok());
  ASSERT_TRUE(files.writeText("C:\\work\\blank.mdb", "rewritten").ok());
  char buffer[64] = {};
  EXPECT_EQ(::read(old, buffer, sizeof buffer), 15);
  EXPECT_STREQ(buffer, "the user's data");
  ::close(old);
  // Neither the copies nor the failures leave temporary files behind.
  ::chmod((dir() / "Dorvane.mdb").c_str(), 0444);
  EXPECT_FALSE(files.copyFile("C:\\work\\blank.mdb", "C:\\work\\Dorvane.mdb").ok());
  EXPECT_FALSE(files.writeText("C:\\work\\Dorvane.mdb", "x").ok());
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Dorvane.mdb", "blank.mdb"}));
}

TEST_F(PosixFileSystemTest, PermissionsFollowTheFileAndTheUmask) {
  std::ofstream(dir() / "tool") << "#!/bin/sh\n";
  ::chmod((dir() / "tool").c_str(), 0750);
  ASSERT_TRUE(files.writeText("C:\\work\\tool", "#!/bin/sh\nexit 0\n").ok());
  EXPECT_EQ(modeOf("tool"), 0750u);
  ASSERT_TRUE(files.copyFile("C:\\work\\tool", "C:\\work\\copy").ok());
  EXPECT_EQ(modeOf("copy"), 0750u);
  const mode_t old = ::umask(027);
  ASSERT_TRUE(files.writeText("C:\\work\\new.txt", "x").ok());
  ::umask(old);
  EXPECT_EQ(modeOf("new.txt"), 0640u);
}

TEST_F(PosixFileSystemTest, ModificationTimesAreLocalTimeAndTheWorkingFolderIsReal) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  ::setenv("TZ", "UTC-2", 1);  // two hours east of UTC
  ::tzset();
  ASSERT_TRUE(files.writeText("C:\\work\\t", "x").ok());
  const DateTime ten = DateTime::fromCivil(2026, 3, 1, 10, 0, 0);
  ASSERT_TRUE(files.setModificationTime("C:\\work\\t", ten).ok());
  oldTz ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
  struct stat st {};
  ASSERT_EQ(::stat((dir() / "t").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, ten.seconds - 2 * 3600);  // 8:00 UTC

  const fs::path before = fs::current_path();
  ASSERT_TRUE(files.setWorkingFolder("C:\\WORK").ok());
  EXPECT_EQ(fs::current_path(), dir());  // a real chdir, which outside programs inherit
  EXPECT_EQ(files.workingFolder(), "C:\\work");
  fs::current_path(before);
}

}  // namespace
}  // namespace pm::posix
