// What the Windows file system does beyond the shared contract: plain ANSI
// text in the machine's code page, and a bare drive taken as its root. Run
// under Wine, whose default prefix has the Western code page (1252).
#include "platform/win32/win32FileSystem.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace pm::win32 {
namespace {

TEST(Win32FileSystem, AnsiTextIsTheMachinesCodePageAndUtf8IsKept) {
  if (GetACP() != 1252) GTEST_SKIP() << "the machine's ANSI code page is " << GetACP();
  Win32FileSystem fs;
  // A list line saved as ANSI names the member as Cabarc.exe reads it.
  EXPECT_EQ(fs.fromAnsi("caf\xE9.dll"), "caf\xC3\xA9.dll");
  EXPECT_EQ(fs.fromAnsi("\xEF\xBB\xBF"
                        "caf\xC3\xA9.dll"),
            "caf\xC3\xA9.dll");
  // The debug file: a character the code page lacks is "?", never a look-alike.
  EXPECT_EQ(fs.toAnsi("Ren\xC3\xA9"
                      "e \xC5\x81ukasz"),
            "Ren\xE9"
            "e ?ukasz");
}

TEST(Win32FileSystem, ABareDriveIsItsRootNotItsCurrentFolder) {
  Win32FileSystem fs;
  const std::string before = fs.workingFolder();
  ASSERT_TRUE(fs.setWorkingFolder("C:\\windows").ok());
  // The folder of a program at the root of drive C: is held as "C:".
  ASSERT_TRUE(fs.setWorkingFolder("C:").ok());
  EXPECT_EQ(fs.workingFolder(), "C:\\");
  EXPECT_TRUE(fs.folderExists("C:"));
  EXPECT_EQ(fs.absolutePath("C:"), "C:\\");
  (void)fs.setWorkingFolder(before);
}

}  // namespace
}  // namespace pm::win32
