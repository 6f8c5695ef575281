// What the Windows file system does beyond the shared contract: plain ANSI
// text in the machine's code page. Run under Wine, whose default prefix has
// the Western code page (1252).
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

}  // namespace
}  // namespace pm::win32
