// The file operations that keep an install safe on this platform: nothing
// blocks on a FIFO, and the leftovers of a killed run are found and removed,
// and nothing else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/posix/posixFileSystem.h"
#include "platform/posix/temporaryFiles.h"
#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;

TEST(FileSafety, FifosAndLeftovers) {
  TempMachine temp;
  PosixFileSystem files{temp.machine};
  const fs::path work = temp.machine.root() / "drive_c" / "work";
  fs::create_directories(work);

  // A FIFO without a writer is no file, and reading it does not wait.
  ASSERT_EQ(::mkfifo((work / "Eula.txt").c_str(), 0644), 0);
  EXPECT_FALSE(files.readText("C:\\work\\Eula.txt"));

  // What a killed run left: a temporary file beside a target it was writing,
  // and a private temporary folder. A file of the user's stays.
  { TemporaryFile left(temp.machine, work / "Dorvane.mdb"); }  // notes the folder
  std::ofstream(work / ".Dorvane.mdb.pmtmp-Ab12Cd") << "cut";
  std::ofstream(work / ".Dorvane.mdb.pmtmp-kept") << "the user's";
  const auto own = files.createPrivateTempFolder("PMUpTemp");
  ASSERT_TRUE(own);
  const fs::path ownHost = temp.machine.toHost(own.value());
  std::ofstream(ownHost / "Pelmora.CAB") << "copy";
  sweepLeftovers(temp.machine);
  EXPECT_FALSE(fs::exists(work / ".Dorvane.mdb.pmtmp-Ab12Cd"));
  EXPECT_TRUE(fs::exists(work / ".Dorvane.mdb.pmtmp-kept"));
  EXPECT_FALSE(fs::exists(ownHost));
  EXPECT_FALSE(fs::exists(temp.machine.root() / "PMSetup.leftovers"));
}

}  // namespace
}  // namespace pm::posix
