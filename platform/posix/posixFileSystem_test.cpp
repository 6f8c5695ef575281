// The machine folder's file system: Windows rules over host files (letter case,
// read-only files), files replaced by rename, and local time on disk.
#include "platform/posix/posixFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(files.createFolder("C:\\work")); }
  void TearDown() override { fs::current_path(cwd); }
  fs::path dir() const { return temp.machine.root() / "drive_c/work"; }
  void write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(files.writeText(path, text)) << path;
  }
  std::string read(const std::string& path) {
    auto r = files.readText(path);
    return r ? r.value() : "<" + r.message() + ">";
  }
  void makeReadOnly(const std::string& path) { ::chmod(temp.machine.toHost(path).c_str(), 0444); }

  fs::path cwd = fs::current_path();
  TempMachine temp;
  PosixFileSystem files{temp.machine};
};

TEST_F(PosixFileSystemTest, AnsiTextIsReadAsWindows1252AndUtf8IsKept) {
  // Windows-1252: copyright sign, e acute, curly quotes, euro sign.
  EXPECT_EQ(files.fromAnsi("\xA9 2026 Caf\xE9 \x93ok\x94 \x80"),
            "\xC2\xA9 2026 Caf\xC3\xA9 \xE2\x80\x9Cok\xE2\x80\x9D \xE2\x82\xAC");
  EXPECT_EQ(files.fromAnsi("\xC2\xA9 Caf\xC3\xA9\r\n"), "\xC2\xA9 Caf\xC3\xA9\r\n");
  EXPECT_EQ(files.fromAnsi("\xEF\xBB\xBFterms"), "terms");
  // A truncated or overlong sequence is not UTF-8: every byte is taken as ANSI.
  EXPECT_EQ(files.fromAnsi("ab\xC3"), "ab\xC3\x83");
  EXPECT_EQ(files.fromAnsi("\xC0\xAF"), "\xC3\x80\xC2\xAF");
  // A list file saved by a Windows editor names its member as Cabarc reads it.
  write("C:\\work\\library.txt", "caf\xE9.dll\r\nplain.dll\r\n");
  EXPECT_EQ(readLines(files, "C:\\work\\library.txt").value(),
            (Names{"caf\xC3\xA9.dll", "plain.dll"}));
}

TEST_F(PosixFileSystemTest, ReplacingAFileNeverTruncatesItInPlace) {
  write("C:\\work\\Dorvane.mdb", "the user's data");
  write("C:\\work\\blank.mdb", "blank");
  // A reader of the old file keeps seeing all of it: the new one came by rename.
  const int old = ::open((dir() / "Dorvane.mdb").c_str(), O_RDONLY);
  ASSERT_GE(old, 0);
  ASSERT_TRUE(files.copyFile("C:\\work\\blank.mdb", "C:\\work\\Dorvane.mdb"));
  write("C:\\work\\blank.mdb", "rewritten");
  char buffer[64] = {};
  EXPECT_EQ(::read(old, buffer, sizeof buffer), 15);
  EXPECT_STREQ(buffer, "the user's data");
  ::close(old);
  // Neither the copies nor the failures leave temporary files behind.
  makeReadOnly("C:\\work\\Dorvane.mdb");
  EXPECT_FALSE(files.copyFile("C:\\work\\blank.mdb", "C:\\work\\Dorvane.mdb"));
  EXPECT_FALSE(files.writeText("C:\\work\\Dorvane.mdb", "x"));
  EXPECT_EQ(files.listFiles("C:\\work").value(), (Names{"blank.mdb", "Dorvane.mdb"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 2);
}

TEST_F(PosixFileSystemTest, TimesAreLocalTimeAndTheWorkingFolderIsReal) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  ::setenv("TZ", "UTC-2", 1);  // two hours east of UTC
  ::tzset();
  write("C:\\work\\t", "x");
  const DateTime ten = DateTime::fromCivil(2026, 3, 1, 10, 0, 0);
  ASSERT_TRUE(files.setModificationTime("C:\\work\\t", ten));
  oldTz ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
  struct stat st {};
  ASSERT_EQ(::stat((dir() / "t").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, ten.seconds - 2 * 3600);  // 8:00 UTC
  EXPECT_FALSE(files.modificationTime("C:\\work\\none"));

  ASSERT_TRUE(files.setWorkingFolder("c:\\WORK"));
  EXPECT_EQ(fs::current_path(), dir());  // a real chdir, which outside programs inherit
  EXPECT_EQ(files.workingFolder(), "C:\\work");
  EXPECT_FALSE(files.setWorkingFolder("C:\\work\\none"));
  EXPECT_EQ(files.absolutePath("sub\\..\\x/./y\\"), "C:\\work\\x\\y");
  EXPECT_EQ(files.absolutePath("\\Program Files"), "C:\\Program Files");
  EXPECT_EQ(files.absolutePath("c:\\a\\..\\..\\b"), "C:\\b");
  EXPECT_EQ(files.absolutePath("/usr/bin"), "Z:\\usr\\bin");
  write("rel.txt", "relative");
  EXPECT_EQ(read("C:\\work\\rel.txt"), "relative");
}

}  // namespace
}  // namespace pm::posix
