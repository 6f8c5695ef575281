// What only this platform meets: a FIFO planted where a file is read never
// holds the installer (the leftovers of a killed run are the install lock's
// contract, platform/contract).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/posix/posixFileSystem.h"
#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

TEST(FileSafety, AFifoWithoutAWriterIsNoFileAndDoesNotWait) {
  TempMachine temp;
  PosixFileSystem files{temp.machine};
  const std::filesystem::path work = temp.machine.root() / "drive_c" / "work";
  std::filesystem::create_directories(work);
  ASSERT_EQ(::mkfifo((work / "Eula.txt").c_str(), 0644), 0);
  EXPECT_FALSE(files.readText("C:\\work\\Eula.txt"));
  EXPECT_FALSE(files.sameContent("C:\\work\\Eula.txt", "C:\\work\\Eula.txt"));
}

}  // namespace
}  // namespace pm::posix
