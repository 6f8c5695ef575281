#include "platform/posix/posixProcessRunner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void script(const fs::path& p, const std::string& body, mode_t mode = 0755) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
  ::chmod(p.c_str(), mode);
}

// Sets an environment variable for the length of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class PosixProcessRunnerTest : public ::testing::Test {
 protected:
  fs::path installer() const { return temp.folder / "setup"; }
  fs::path onPath() const { return temp.folder / "bin"; }
  fs::path out() const { return temp.folder / "out.txt"; }

  TempMachine temp;
  ScopedEnv outVar{"PM_TEST_OUT", (temp.folder / "out.txt").string()};
  PosixProcessRunner runner{temp.machine, temp.folder / "setup"};
};

TEST_F(PosixProcessRunnerTest, ExitCodesAndProgramsThatCannotStart) {
  EXPECT_EQ(runner.runAndWait("sh -c \"exit 3\""), 3);
  EXPECT_EQ(runner.runAndWait("sh -c \"exit 0\""), 0);
  EXPECT_EQ(runner.runAndWait("no-such-program-of-pmsetup /s"), -1);
  EXPECT_EQ(runner.runAndWait(""), -1);
  EXPECT_EQ(runner.runAndWait("C:\\windows\\system32\\none.exe"), -1);
  // Ended by a signal: 128 + the signal, as a shell says it.
  EXPECT_EQ(runner.runAndWait("sh -c \"kill -9 $$\""), 137);
  // Signals the installer ignores are not ignored by the programs it starts.
  ::signal(SIGTERM, SIG_IGN);
  EXPECT_EQ(runner.runAndWait("sh -c \"kill -TERM $$\""), 128 + SIGTERM);
  ::signal(SIGTERM, SIG_DFL);
  // A file that is there but cannot be run is not started.
  script(installer() / "notrunnable", "exit 0", 0644);
  EXPECT_EQ(runner.runAndWait("notrunnable"), -1);
}

TEST_F(PosixProcessRunnerTest, ArgumentsArriveAsWindowsSplitsThemWithoutAShell) {
  script(installer() / "argdump",
         "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$PM_TEST_OUT\"");
  ASSERT_EQ(
      runner.runAndWait(
          R"(argdump -o x "C:\Setup Dir\PMUpTemp\P.CAB" *.* "C:\Setup Dir\PMUpTemp"\ a\"b "" $HOME;`true`)"),
      0);
  EXPECT_EQ(slurp(out()),
            "[-o]\n[x]\n[C:\\Setup Dir\\PMUpTemp\\P.CAB]\n[*.*]\n[C:\\Setup "
            "Dir\\PMUpTemp\\]\n[a\"b]\n[]\n"
            "[$HOME;`true`]\n");
}

TEST_F(PosixProcessRunnerTest, TheInstallerFolderComesBeforePath) {
  script(installer() / "Cabarc", "echo installer > \"$PM_TEST_OUT\"");
  script(installer() / "VBRun60.exe", "echo vbrun > \"$PM_TEST_OUT\"");
  script(installer() / "regsvr32", "exit 0", 0644);  // not runnable: PATH's is taken
  script(onPath() / "Cabarc", "echo path > \"$PM_TEST_OUT\"");
  script(onPath() / "regsvr32", "echo path-regsvr32 > \"$PM_TEST_OUT\"");
  ScopedEnv path("PATH", onPath().string() + ":" + std::getenv("PATH"));

  const struct {
    const char* cmdline;
    const char* ran;
  } cases[] = {
      {"Cabarc -o x a b", "installer\n"},     {"CABARC.EXE", "installer\n"},
      {"cabarc.exe", "installer\n"},          {"VBRun60 /Q", "vbrun\n"},
      {"vbrun60.exe /Q", "vbrun\n"},          {"regsvr32 /s x.dll", "path-regsvr32\n"},
      {"Regsvr32.exe /s", "path-regsvr32\n"},
  };
  for (const auto& c : cases) {
    fs::remove(out());
    EXPECT_EQ(runner.runAndWait(c.cmdline), 0) << c.cmdline;
    EXPECT_EQ(slurp(out()), c.ran) << c.cmdline;
  }
}

TEST_F(PosixProcessRunnerTest, ProgramsNamedByPathMapThroughTheMachine) {
  script(temp.machine.root() / "drive_c/Program Files/Pelmora/Pelmora",
         "echo pelmora \"$1\" > \"$PM_TEST_OUT\"");
  EXPECT_EQ(runner.runAndWait(R"("C:\PROGRAM FILES\pelmora\Pelmora.exe" "a b")"), 0);
  EXPECT_EQ(slurp(out()), "pelmora a b\n");
}

TEST_F(PosixProcessRunnerTest, ProgramsInheritTheWorkingFolderAndSeeTheMachine) {
  const fs::path before = fs::current_path();
  fs::create_directories(installer());
  fs::current_path(installer());
  const int code = runner.runAndWait(
      R"(sh -c "pwd > \"$PM_TEST_OUT\"; echo $PMSETUP_MACHINE >> \"$PM_TEST_OUT\"")");
  fs::current_path(before);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(slurp(out()), installer().string() + "\n" + temp.machine.root().string() + "\n");
}

// Children of this process that have ended but were never reaped.
int zombieChildren() {
  int zombies = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    long ppid = 0;
    rest >> state >> ppid;
    zombies += ppid == ::getpid() && state == 'Z';
  }
  return zombies;
}

TEST_F(PosixProcessRunnerTest, StartDoesNotWaitAndLeavesNoZombie) {
  script(installer() / "Pelmora", "sleep 0.3; echo started > \"$PM_TEST_OUT\"");
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(runner.start("Pelmora.exe").ok());
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(250));
  std::string seen;
  for (int i = 0; i < 100 && seen.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen = slurp(out());
  }
  EXPECT_EQ(seen, "started\n");
  int zombies = 1;
  for (int i = 0; i < 100 && zombies > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    zombies = zombieChildren();
  }
  EXPECT_EQ(zombies, 0);

  auto missing = runner.start("NoSuchPelmora.exe");
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("NoSuchPelmora.exe"), std::string::npos) << missing.message();
}

}  // namespace
}  // namespace pm::posix
