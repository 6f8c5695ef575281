// What the machine folder's registry store promises when a process dies, a
// log is cut short, a person edits a store file, or a file is in the way: no
// write that returned is lost, a store file is never half-written, and the next
// run ends with whole .reg files and nothing beside them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "database/testDatabase.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
using pm::testing::readFile;
using pm::testing::writeFile;
constexpr RootKey HKCU = RootKey::CurrentUser;

const std::string kStart =
    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n"
    "\"v0\"=\"old\"\r\n\"v1\"=\"old\"\r\n\r\n";
using Writes = std::vector<std::pair<std::string, std::string>>;
// Two values changed, two made, one new key.
const Writes kWrites = {
    {"Software\\A", "v0"}, {"Software\\A", "v2"}, {"Software\\B\\C", "v3"}, {"Software\\A", "v1"}};
// Only keys made: a fold of a large store appends them.
const Writes kKeysMade = {
    {"Software\\B\\C", "v3"}, {"Software\\D", "v4"}, {"Software\\B\\C", "v5"}};

class RegistryCrashContract : public ::testing::Test {
 protected:
  fs::path reg() const { return temp.machine.registryFile("HKEY_CURRENT_USER"); }
  std::optional<RegValue> read(PosixRegistryStore& store, const std::string& key,
                               const std::string& name) {
    auto r = store.readValue(HKCU, key, name);
    EXPECT_TRUE(r.ok()) << r.message();
    return r ? r.value() : std::nullopt;
  }
  // What is left in the registry folder besides the .reg files and their locks.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(reg().parent_path())) {
      const std::string n = e.path().filename().string();
      if (!n.ends_with(".reg") && !n.ends_with(".reg.lock")) names.push_back(n);
    }
    return names;
  }
  void restart(const std::string& log = "") {
    for (const auto& e : fs::directory_iterator(reg().parent_path())) fs::remove(e.path());
    writeFile(reg(), kStart);
    if (!log.empty()) writeFile(reg().string() + ".log", log);
  }
  // In a child process: the writes, a byte down `acks` after each one that
  // returned, then the end of the process unless `killAtStep` (a count, or the
  // step's name) says where to die.
  pid_t writer(int acks, std::size_t foldLogBytes, int killAtStep, bool end = true,
               const Writes& writes = kWrites, std::size_t appendFoldBytes = 1 << 20,
               std::string_view killAt = {}) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    PosixRegistryStore store(temp.machine);
    store.foldLogBytes = foldLogBytes;
    store.appendFoldBytes = appendFoldBytes;
    int steps = 0;
    store.crashPoint = [&](std::string_view step) {
      if (++steps == killAtStep || step == killAt) ::raise(SIGKILL);
    };
    for (const auto& [key, name] : writes) {
      if (!store.writeValue(HKCU, key, name, RegValue::string("new")).ok()) ::_exit(2);
      if (::write(acks, "x", 1) != 1) ::_exit(3);
    }
    if (end && !store.flush().ok()) ::_exit(4);
    ::_exit(0);
  }

  TempMachine temp;
};

TEST_F(RegistryCrashContract, AWriterKilledAtAnyStepLosesNothingThatReturnedAndTheNextRunMends) {
  // Values changed and keys made (a fold rewrites the file), or keys made in a
  // store counted as large (a fold appends them).
  for (const auto& [kWrites, appendFoldBytes] :
       {std::pair{kWrites, std::size_t{1} << 20}, std::pair{kKeysMade, std::size_t{0}}}) {
    // What an uninterrupted run leaves.
    restart();
    {
      PosixRegistryStore store(temp.machine);
      store.appendFoldBytes = appendFoldBytes;
      for (const auto& [key, name] : kWrites)
        ASSERT_TRUE(store.writeValue(HKCU, key, name, RegValue::string("new")).ok());
    }
    const std::string finished = readFile(reg());
    EXPECT_EQ(leftovers(), std::vector<std::string>{});

    for (const std::size_t foldLogBytes : {std::size_t{1} << 20, std::size_t{0}}) {
      for (int step = 1;; ++step) {
        SCOPED_TRACE("fold bound " + std::to_string(foldLogBytes) + ", killed at step " +
                     std::to_string(step) + ", " + std::to_string(kWrites.size()) + " writes");
        restart();
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = writer(pipeFds[1], foldLogBytes, step, true, kWrites, appendFoldBytes);
        ::close(pipeFds[1]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        char acks[16];
        const auto acked =
            static_cast<std::size_t>(std::max<ssize_t>(0, ::read(pipeFds[0], acks, sizeof acks)));
        ::close(pipeFds[0]);
        const bool killed = WIFSIGNALED(status);
        ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;

        // The store file alone is whole; with the log, every write that returned is there.
        for (const bool fileAlone : {true, false}) {
          TempMachine other;
          fs::copy_file(reg(), other.machine.registryFile("HKEY_CURRENT_USER"));
          if (!fileAlone && fs::exists(reg().string() + ".log"))
            fs::copy_file(reg().string() + ".log",
                          other.machine.registryFile("HKEY_CURRENT_USER").string() + ".log");
          PosixRegistryStore next(other.machine);
          for (std::size_t i = 0; i < kWrites.size(); ++i) {
            const auto v = read(next, kWrites[i].first, kWrites[i].second);
            const bool isNew = v == RegValue::string("new");
            if (!fileAlone && i < acked) {
              EXPECT_TRUE(isNew) << i;
            }
            if (i > acked) {
              EXPECT_FALSE(isNew) << i;
            }
            EXPECT_TRUE(isNew || v == std::nullopt || v == RegValue::string("old")) << i;
          }
        }
        // The next run ends with the store of an uninterrupted one, nothing beside it.
        {
          PosixRegistryStore next(temp.machine);
          next.appendFoldBytes = appendFoldBytes;
          for (const auto& [key, name] : kWrites)
            ASSERT_TRUE(next.writeValue(HKCU, key, name, RegValue::string("new")).ok());
        }
        EXPECT_EQ(readFile(reg()), finished);
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
        if (!killed) break;
      }
    }
  }
}

TEST_F(RegistryCrashContract, AnAppendCutShortIsLeftOutUntilTheNextRunRewritesTheFile) {
  restart();
  {
    PosixRegistryStore store(temp.machine);
    store.appendFoldBytes = 0;
    for (const auto& [key, name] : kKeysMade)
      ASSERT_TRUE(store.writeValue(HKCU, key, name, RegValue::string("new")).ok());
  }
  const std::string finished = readFile(reg());
  const std::string note = reg().string() + ".append";
  for (const bool handEdited : {false, true}) {
    // Killed once the append is noted; then as if the append had been cut short.
    restart();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child =
        writer(pipeFds[1], std::size_t{1} << 20, 0, true, kKeysMade, 0, "append noted");
    ::close(pipeFds[1]);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string noted = readFile(note);
    const std::string appended = noted.substr(noted.find('\n') + 1);
    ASSERT_EQ(finished, kStart + appended);
    std::string torn = kStart + appended.substr(0, appended.size() / 2);
    // A person who rewrote the file (another file at its name) is read as they wrote it.
    if (handEdited) {
      torn = kStart + "[HKEY_CURRENT_USER\\Software\\Hand]\r\n\"h\"=\"1\"\r\n";
      fs::remove(reg());
    }
    {
      std::ofstream out(reg(), std::ios::binary | std::ios::app);
      out << torn.substr(readFile(reg()).size());
    }
    PosixRegistryStore next(temp.machine);
    EXPECT_EQ(read(next, "Software\\Hand", "h"),
              handEdited ? std::optional(RegValue::string("1")) : std::nullopt);
    for (const auto& [key, name] : kKeysMade)
      EXPECT_EQ(read(next, key, name), RegValue::string("new")) << key;
    ASSERT_TRUE(next.flush().ok());
    if (!handEdited) {
      EXPECT_EQ(readFile(reg()), finished);
    }
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
  }
}

TEST_F(RegistryCrashContract, ATornLogTailIsIgnoredAndCutOffByTheNextWriter) {
  // A killed run's log: its writes, no fold.
  restart();
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  int status = 0;
  const pid_t child = writer(pipeFds[1], std::size_t{1} << 20, 0, false);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  const std::string log = readFile(reg().string() + ".log");
  std::vector<std::size_t> lineEnds;
  for (std::size_t i = 0; i < log.size(); ++i)
    if (log[i] == '\n') lineEnds.push_back(i + 1);
  ASSERT_EQ(lineEnds.size(), kWrites.size() + 1);  // the header and a line a write

  for (std::size_t cut = 0; cut <= log.size(); ++cut) {
    SCOPED_TRACE("log cut at " + std::to_string(cut));
    restart(log.substr(0, cut));
    std::size_t whole = 0;
    while (whole < kWrites.size() && lineEnds[whole + 1] <= cut) ++whole;
    PosixRegistryStore store(temp.machine);
    for (std::size_t i = 0; i < kWrites.size(); ++i)
      EXPECT_EQ(read(store, kWrites[i].first, kWrites[i].second) == RegValue::string("new"),
                i < whole);
    // A write after a torn line must not join it (and be lost with it).
    if (std::find(lineEnds.begin(), lineEnds.end(), cut + 1) != lineEnds.end() || cut % 17 == 3) {
      ASSERT_TRUE(store.writeValue(HKCU, "Software\\A", "after", RegValue::number(7)).ok());
      PosixRegistryStore other(temp.machine);
      EXPECT_EQ(read(other, "Software\\A", "after"), RegValue::number(7));
      EXPECT_EQ(read(other, kWrites[0].first, kWrites[0].second) == RegValue::string("new"),
                whole > 0);
    }
  }
  // A changed byte in a line: that line and the ones after it do not count.
  std::string damaged = log;
  damaged[lineEnds[2] - 3] ^= 1;
  restart(damaged);
  PosixRegistryStore store(temp.machine);
  EXPECT_EQ(read(store, kWrites[0].first, kWrites[0].second), RegValue::string("new"));
  EXPECT_EQ(read(store, kWrites[1].first, kWrites[1].second), std::nullopt);
  EXPECT_EQ(read(store, kWrites[3].first, kWrites[3].second), RegValue::string("old"));
}

TEST_F(RegistryCrashContract, AStoreFileEditedByHandIsReadAsItStands) {
  restart();
  PosixRegistryStore running(temp.machine);  // a process that keeps what it read
  ASSERT_TRUE(running.writeValue(HKCU, "Software\\A", "v0", RegValue::string("run")).ok());
  ASSERT_TRUE(running.flush().ok());
  const auto edit = [&](const std::string& v0, int secondsLater) {
    writeFile(reg(),  // in place: the same file
              "Windows Registry Editor Version 5.00\n\n; by hand\n"
              "[HKEY_CURRENT_USER\\Software\\A]\n\"v0\"=\"" +
                  v0 + "\"\n\"kept\"=\"hand\"\n");
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) + secondsLater, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, reg().c_str(), times, 0), 0);
  };
  edit("hand", 0);
  EXPECT_EQ(read(running, "Software\\A", "v0"), RegValue::string("hand"));
  edit("HAND", 2);  // the same size: told apart by its time
  EXPECT_EQ(read(running, "Software\\A", "v1"), std::nullopt);
  EXPECT_EQ(read(running, "Software\\A", "v0"), RegValue::string("HAND"));

  // A killed run's log applies on top of a file edited after it.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = writer(pipeFds[1], std::size_t{1} << 20, 0, false);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  edit("edited", 4);
  PosixRegistryStore next(temp.machine);
  EXPECT_EQ(read(next, "Software\\A", "kept"), RegValue::string("hand"));
  EXPECT_EQ(read(next, "Software\\A", "v0"), RegValue::string("new"));
  EXPECT_EQ(read(next, "Software\\B\\C", "v3"), RegValue::string("new"));
}

TEST_F(RegistryCrashContract, AReadOnlyStoreFileRefusesEveryWriteAndIsNeverReplaced) {
  restart();
  ASSERT_EQ(::chmod(reg().c_str(), 0444), 0);
  struct stat before {};
  ASSERT_EQ(::stat(reg().c_str(), &before), 0);
  PosixRegistryStore store(temp.machine);
  store.foldLogBytes = 0;
  for (const Status& s : {store.writeValue(HKCU, "Software\\A", "v2", RegValue::number(1)),
                          store.writeValue(HKCU, "Software\\A", "v0", RegValue::string("old")),
                          store.createKey(HKCU, "Software\\New")}) {
    EXPECT_NE(s.message().find("access is denied"), std::string::npos) << s.message();
  }
  EXPECT_EQ(read(store, "Software\\A", "v0"), RegValue::string("old"));
  EXPECT_TRUE(store.flush().ok());
  struct stat after {};
  ASSERT_EQ(::stat(reg().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(readFile(reg()), kStart);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(RegistryCrashContract, LinksAtTheStoresWorkingNamesAreNeverFollowed) {
  restart();
  const fs::path victim = temp.folder / "victim";
  writeFile(victim, "precious");
  fs::create_symlink(victim, reg().string() + ".log");
  fs::create_symlink(victim,
                     reg().parent_path() / ("." + reg().filename().string() + ".pmtmp-AAAAAA"));
  {
    PosixRegistryStore store(temp.machine);
    store.foldLogBytes = 0;  // fold at once, and again at the end
    EXPECT_EQ(read(store, "Software\\A", "v0"), RegValue::string("old"));
    ASSERT_TRUE(store.writeValue(HKCU, "Software\\A", "v0", RegValue::string("new")).ok());
    ASSERT_TRUE(store.writeValue(HKCU, "Software\\A", "v2", RegValue::string("new")).ok());
  }
  EXPECT_EQ(readFile(victim), "precious");
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
  EXPECT_NE(readFile(reg()).find("\"v2\"=\"new\""), std::string::npos);
}

}  // namespace
}  // namespace pm::posix
