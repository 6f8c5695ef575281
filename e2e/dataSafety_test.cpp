// What no run may do, whatever happens to it: lose the user's database, leave a
// temporary file behind, or report a failure as success. The real
// PMSetupUnattended on copies of the demo, killed, doubled, and run on read-only,
// damaged and booby-trapped installer folders.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "e2e/e2eSupport.h"

namespace pm::e2e {
namespace {

const std::string kAnswers = "agreement = accept\nname = Ann\n";

// A running PMSetupUnattended (in its own process group) of root/setup on
// root/machine, whose report lines are read as they come.
class Installer {
 public:
  explicit Installer(const fs::path& root) {
    writeFile(root / "answers.ini", kAnswers);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    std::vector<std::string> args = {"env", "PMSETUP_MACHINE=" + (root / "machine").string(),
                                     (root / "setup" / "PMSetupUnattended").string(), "--no-pacing",
                                     (root / "answers.ini").string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawnp(&pid_, "env", &actions, &attr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(out[1]);
    out_ = out[0];
  }
  ~Installer() {
    if (pid_ > 0) kill();
    if (out_ >= 0) ::close(out_);
  }

  // Reads report lines until `count` have come; false when the run ended first.
  bool waitForLines(int count) {
    char c;
    while (lines_ < count && ::read(out_, &c, 1) == 1) lines_ += c == '\n';
    return lines_ >= count;
  }
  // Waits for the end; the exit code.
  int finish() {
    waitForLines(1 << 30);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Kills it and everything it started, as a power cut would.
  void kill() {
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  int lines() const { return lines_; }
  // Stops it where it is (SIGSTOP), or lets it go on.
  void hold(bool stopped) { ::kill(-pid_, stopped ? SIGSTOP : SIGCONT); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int lines_ = 0;
};

// Our temporary files and folders anywhere below `root`.
std::vector<std::string> leftovers(const fs::path& root) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = e.path().filename().string();
    if (name.find(".pmtmp-") != std::string::npos || name.starts_with(".Cabarc-") ||
        name.starts_with("PMUpTemp") || name == "PMSetup.leftovers")
      found.push_back(e.path().string());
  }
  return found;
}

class DataSafety : public ::testing::Test {
 protected:
  DemoCopy demo;
  const std::string original = readFile(demo.appFolder() / "Dorvane.mdb");

  // The user's database, byte for byte, under one of the names it may have.
  static bool kept(const fs::path& appFolder, const std::string& bytes) {
    for (const auto& e : fs::directory_iterator(appFolder)) {
      const std::string name = e.path().filename().string();
      if (name.starts_with("Dorvane") && name.ends_with(".mdb") && readFile(e.path()) == bytes)
        return true;
    }
    return false;
  }
};

// Killed after each report line in turn, then run to its end: the data is
// there, the second run succeeds, and nothing temporary is left.
TEST_F(DataSafety, AKilledRunAndItsRerunKeepTheDatabaseAndLeaveNothing) {
  // The trials' copies on a memory disk where there is one: no waiting for flushes.
  const fs::path base = access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : demo.root;
  const fs::path trials = base / ("pm-kill-" + std::to_string(::getpid()));
  const auto copyOf = [&](int k) { return trials / std::to_string(k); };
  const auto makeCopy = [&](int k) {
    fs::create_directories(copyOf(k));
    return shell("cp -a " + shq(demo.setup) + " " + shq(demo.machine) + " " + shq(copyOf(k)))
        .exitCode;
  };
  ASSERT_EQ(makeCopy(0), 0);
  const int lines = [&] {
    Installer whole(copyOf(0));
    EXPECT_EQ(whole.finish(), 0);
    return whole.lines();
  }();
  ASSERT_GT(lines, 30);
  auto trial = [&](int k) -> std::string {
    Installer killed(copyOf(k));
    if (!killed.waitForLines(k)) return "ended before line " + std::to_string(k);
    killed.kill();
    const int code = Installer(copyOf(k)).finish();
    std::string what;
    if (code != 0) what += " rerun exit " + std::to_string(code);
    if (!kept(copyOf(k) / "machine/drive_c/Program Files/Pelmora", original))
      what += " the database is lost";
    for (const auto& path : leftovers(copyOf(k))) what += " left " + path;
    return what.empty() ? what : "killed after line " + std::to_string(k) + ":" + what;
  };
  // Four trials at a time: each one waits mostly on its tools.
  for (int k = 1; k < lines; k += 4) {
    std::vector<std::future<std::string>> batch;
    for (int j = k; j < std::min(k + 4, lines); ++j) {
      ASSERT_EQ(makeCopy(j), 0);
      batch.push_back(std::async(std::launch::async, trial, j));
    }
    for (auto& f : batch) EXPECT_EQ(f.get(), "");
    for (int j = k; j < std::min(k + 4, lines); ++j) fs::remove_all(copyOf(j));
  }
  fs::remove_all(trials);
}

TEST_F(DataSafety, ASecondInstallerIsRefusedWhileOneRuns) {
  Installer first(demo.root);
  ASSERT_TRUE(first.waitForLines(1));  // it holds the machine now
  const RunResult second = demo.unattended(kAnswers);
  EXPECT_EQ(second.exitCode, 5);
  EXPECT_EQ(second.out, "");
  EXPECT_NE(second.err.find("Another Pelmora installer is already running"), std::string::npos)
      << second.err;
  EXPECT_EQ(first.finish(), 0);
  EXPECT_EQ(readFile(demo.appFolder() / "DorvaneBKUP.mdb"), original);
}

TEST_F(DataSafety, ADatabaseOpenElsewhereIsLeftAloneAndTheRunFails) {
  const int held = ::open((demo.appFolder() / "Dorvane.mdb").c_str(), O_RDONLY | O_CLOEXEC);
  const RunResult r = demo.unattended(kAnswers);
  ::close(held);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.out.find("Database exists.  Making backup and overwriting.\nFile in use: "
                       "C:\\Program Files\\Pelmora\\Dorvane.mdb is open in another program"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(demo.appFolder() / "DorvaneBKUP.mdb"));
  EXPECT_EQ(demo.sql(demo.appFolder() / "Dorvane.mdb", "select count(*) from Company;"), "1\n");
}

TEST_F(DataSafety, APlantedTemporaryFolderLinkIsRemovedAsALink) {
  fs::create_directory(demo.root / "victim");
  writeFile(demo.root / "victim" / "Pelmora.CAB", "not the installer's");
  fs::create_directory_symlink(demo.root / "victim", demo.setup / "PMUpTemp");
  const RunResult r = demo.unattended(kAnswers);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Previous Temporary Install directory found."), std::string::npos);
  EXPECT_EQ(filesBelow(demo.root / "victim"), std::vector<std::string>{"Pelmora.CAB"});
  EXPECT_EQ(readFile(demo.root / "victim" / "Pelmora.CAB"), "not the installer's");
  EXPECT_EQ(leftovers(demo.root), std::vector<std::string>{});
}

// What names a folder in the leftovers record, or forges a line of it,
// deletes nothing the installer did not make: an installer folder whose name
// holds a line break and a record line, or a line written into the record.
TEST_F(DataSafety, NoNameOrForgedRecordLineDeletesAFolder) {
  const fs::path victim = demo.root / "victim";
  const struct {
    const char* what;
    bool forgedName, forgedLine;
  } rows[] = {{"a line break in the installer folder's name", true, false},
              {"a D line written into the record", false, true}};
  for (const auto& row : rows) {
    fs::create_directories(victim);
    writeFile(victim / "notes.txt", "the user's");
    if (row.forgedName) {
      // A folder an archive can ship: "x<line break>D " and the victim's path below.
      const fs::path odd = demo.root / ("x\nD " + victim.string());
      fs::create_directories(odd.parent_path());
      fs::rename(demo.setup, odd);
      demo.setup = odd;
    }
    if (row.forgedLine)
      writeFile(demo.machine / "PMSetup.leftovers", "D " + victim.string() + "\n");
    const RunResult r = demo.unattended(kAnswers);
    EXPECT_EQ(r.exitCode, 0) << row.what << r.err;
    EXPECT_EQ(filesBelow(victim), std::vector<std::string>{"notes.txt"}) << row.what;
  }
}

// A damaged download changes nothing, and says so.
TEST_F(DataSafety, ACutCabinetStopsTheInstallBeforeAnyChange) {
  const std::string cabinet = readFile(demo.setup / "Pelmora.CAB");
  writeFile(demo.setup / "Pelmora.CAB", cabinet.substr(0, cabinet.size() / 2));
  const std::vector<std::string> before = filesBelow(demo.machine);
  const RunResult r = demo.unattended(kAnswers);
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("The installer file Pelmora.CAB is damaged or incomplete"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(filesBelow(demo.machine), before);
  EXPECT_EQ(readFile(demo.appFolder() / "Dorvane.mdb"), original);
}

// An installer folder on a read-only mount: the install works from a private
// temporary folder, and the debug file lands in a private folder.
TEST_F(DataSafety, AReadOnlyInstallerFolderWorksAndWritesNothingThere) {
  const fs::path temp = demo.root / "temp";
  fs::create_directory(temp);
  // As on a CD, the files are read-only too: the run's copies must still go.
  for (const char* cabinet : {"Pelmora.CAB", "PLMLibrary.CAB", "PLMHelp.CAB"})
    fs::permissions(demo.setup / cabinet, fs::perms::owner_write, fs::perm_options::remove);
  writeFile(demo.root / "answers.ini", kAnswers);
  const std::vector<std::string> before = filesBelow(demo.setup);
  const std::string setup = shq(demo.setup);
  const RunResult r =
      shell("unshare -rm sh -c " +
            shq("mount --bind " + setup + " " + setup + " && mount -o remount,bind,ro " + setup +
                " || exit 77; cd " + setup + " && TMPDIR=" + shq(temp) +
                " PMSETUP_MACHINE=" + shq(demo.machine) + " ./PMSetupUnattended --no-pacing " +
                shq(demo.root / "answers.ini")));
  if (r.exitCode == 77 || r.err.starts_with("unshare:"))
    GTEST_SKIP() << "cannot mount read-only here: " << r.err;
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string moved = "The installer folder cannot be written: the temporary directory is " +
                            windowsName(temp) + "\\PMUpTemp-";
  EXPECT_NE(r.out.find("\n" + moved), std::string::npos) << r.out;
  // The debug file goes to a private folder of its own, never a fixed name
  // in the shared temporary folder.
  const std::vector<std::string> left = filesBelow(temp);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(left[0].starts_with("PMInstall-") && left[0].ends_with("/PMInstall.dbg")) << left[0];
  const fs::path debug = temp / left[0];
  EXPECT_NE(r.out.find(" and the debug file goes to " + windowsName(debug) +
                       "\nTemporary directory created.\n"),
            std::string::npos);
  EXPECT_EQ(fs::status(debug.parent_path()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(debug).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(filesBelow(demo.setup), before);
  EXPECT_EQ(readFile(demo.appFolder() / "DorvaneBKUP.mdb"), original);
  EXPECT_TRUE(fs::exists(demo.system32() / "msvbvm60.dll"));
}

// Two computers install from one shared installer folder at once: the second
// keeps out of the first's PMUpTemp and works from a private folder, and both
// install.
TEST_F(DataSafety, TwoMachinesShareOneInstallerFolder) {
  ASSERT_EQ(shell("cp -a " + shq(demo.machine) + " " + shq(demo.root / "second")).exitCode, 0);
  fs::create_directory(demo.root / "temp");
  Installer first(demo.root);
  ASSERT_TRUE(first.waitForLines(4));  // "Temporary directory created."
  first.hold(true);
  const RunResult second =
      shell("cd " + shq(demo.setup) + " && TMPDIR=" + shq(demo.root / "temp") +
            " PMSETUP_MACHINE=" + shq(demo.root / "second") + " ./PMSetupUnattended --no-pacing " +
            shq(demo.root / "answers.ini"));
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_NE(
      second.out.find("\nThe installer folder cannot be written: the temporary directory is "),
      std::string::npos)
      << second.out;
  first.hold(false);
  EXPECT_EQ(first.finish(), 0);
  for (const fs::path& machine : {demo.machine, demo.root / "second"})
    EXPECT_EQ(readFile(machine / "drive_c/Program Files/Pelmora/DorvaneBKUP.mdb"), original);
  EXPECT_EQ(leftovers(demo.root), std::vector<std::string>{});
}

}  // namespace
}  // namespace pm::e2e
