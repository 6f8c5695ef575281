#include "platform/posix/posixProcessRunner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
using pm::testing::readFile;

class PosixProcessRunnerTest : public ::testing::Test {
 protected:
  ~PosixProcessRunnerTest() override { ::setenv("PATH", path.c_str(), 1); }
  fs::path installer() const { return temp.folder / "setup"; }
  fs::path out() const { return temp.folder / "out.txt"; }
  // A shell script whose body may write to "$OUT".
  void script(const fs::path& p, const std::string& body, mode_t mode = 0755) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\nOUT='" << out().string() << "'\n" << body << "\n";
    ::chmod(p.c_str(), mode);
  }

  const std::string path = std::getenv("PATH");
  TempMachine temp;
  PosixProcessRunner runner{temp.machine, temp.folder / "setup"};
};

TEST_F(PosixProcessRunnerTest, ExitCodesAndProgramsThatCannotStart) {
  EXPECT_EQ(runner.runAndWait("sh -c \"exit 3\""), 3);
  EXPECT_EQ(runner.runAndWait("no-such-program-of-pmsetup /s"), -1);
  EXPECT_EQ(runner.runAndWait(""), -1);
  EXPECT_EQ(runner.runAndWait("C:\\windows\\system32\\none.exe"), -1);
  // Ended by a signal: 128 + the signal, as a shell says it. Signals the
  // installer ignores are not ignored by the programs it starts.
  ::signal(SIGTERM, SIG_IGN);
  EXPECT_EQ(runner.runAndWait("sh -c \"kill -TERM $$\""), 128 + SIGTERM);
  ::signal(SIGTERM, SIG_DFL);
  // A file that is there but cannot be run is not started.
  script(installer() / "notrunnable", "exit 0", 0644);
  EXPECT_EQ(runner.runAndWait("notrunnable"), -1);
}

TEST_F(PosixProcessRunnerTest, ArgumentsArriveAsWindowsSplitsThemWithoutAShell) {
  script(installer() / "argdump", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$OUT\"");
  ASSERT_EQ(
      runner.runAndWait(
          R"(argdump -o x "C:\Setup Dir\PMUpTemp\P.CAB" *.* "C:\Setup Dir\PMUpTemp"\ a\"b "" $HOME;`true`)"),
      0);
  EXPECT_EQ(readFile(out()),
            "[-o]\n[x]\n[C:\\Setup Dir\\PMUpTemp\\P.CAB]\n[*.*]\n[C:\\Setup Dir\\PMUpTemp\\]\n"
            "[a\"b]\n[]\n[$HOME;`true`]\n");
}

TEST_F(PosixProcessRunnerTest, TheInstallerFolderComesBeforePathAndWindowsPathsMap) {
  script(installer() / "Cabarc", "echo installer > \"$OUT\"");
  script(installer() / "regsvr32", "exit 0", 0644);  // not runnable: PATH's is taken
  script(temp.folder / "bin/Cabarc", "echo path > \"$OUT\"");
  script(temp.folder / "bin/regsvr32", "echo path-regsvr32 > \"$OUT\"");
  script(temp.machine.root() / "drive_c/Program Files/Pelmora/Pelmora",
         "echo pelmora \"$1\" > \"$OUT\"");
  ::setenv("PATH", ((temp.folder / "bin").string() + ":" + path).c_str(), 1);
  const struct {
    const char* cmdline;
    const char* ran;
  } cases[] = {
      {"CABARC.EXE", "installer\n"},
      {"Regsvr32.exe /s x.dll", "path-regsvr32\n"},
      {R"("C:\PROGRAM FILES\pelmora\Pelmora.exe" "a b")", "pelmora a b\n"},
  };
  for (const auto& c : cases) {
    fs::remove(out());
    EXPECT_EQ(runner.runAndWait(c.cmdline), 0) << c.cmdline;
    EXPECT_EQ(readFile(out()), c.ran) << c.cmdline;
  }
}

}  // namespace
}  // namespace pm::posix
