// What only this platform meets: a FIFO planted where a file is read never
// holds the installer (the leftovers of a killed run are the install lock's
// contract, platform/contract).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/posixFileSystem.h"
#include "platform/posix/temporaryFiles.h"
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

// A file takes its name only once its content is on disk, and the folder is
// flushed after the rename: a power cut leaves the old file or the whole new one.
TEST(FileSafety, AReplacedFileIsOnDiskBeforeItTakesTheName) {
  static std::vector<std::string> steps;
  DiskCalls& calls = diskCalls();
  const DiskCalls real = calls;
  calls.flush = [](int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    steps.push_back(S_ISDIR(st.st_mode) ? "flush folder" : "flush file");
    return ::fsync(fd);
  };
  calls.rename = [](const char* from, const char* to) {
    steps.push_back("rename");
    return ::rename(from, to);
  };
  TempMachine temp;
  const Status written = writeFileAtomically(temp.machine, temp.folder / "f.txt", "text");
  calls = real;
  ASSERT_TRUE(written) << written.message();
  EXPECT_EQ(steps, (std::vector<std::string>{"flush file", "rename", "flush folder"}));
}

}  // namespace
}  // namespace pm::posix
