#include "console/basCommon.h"

#include <gtest/gtest.h>

#include "tests/fakeFileSystem.h"
#include "tests/fakeInstallWindow.h"

namespace pm {
namespace {

std::string ensured(std::string path) {
  EnsureTrailingSeparator(path);
  return path;
}

TEST(basCommon, EnsureTrailingSeparator) {
  EXPECT_EQ(ensured("C:\\Program Files\\Pelmora"), "C:\\Program Files\\Pelmora\\");
  EXPECT_EQ(ensured("C:\\windows\\system32\\"), "C:\\windows\\system32\\");
  EXPECT_EQ(ensured("/usr/lib/"), "/usr/lib/");
  EXPECT_EQ(ensured("C:\\dir   "), "C:\\dir\\");     // trailing blanks go
  EXPECT_EQ(ensured("  C:\\dir"), "  C:\\dir\\");    // leading blanks stay
  EXPECT_EQ(ensured("C:\\dir\\  "), "C:\\dir\\  ");  // already ends in one: untouched
  EXPECT_EQ(ensured(""), "\\");
  EXPECT_EQ(ensured("   "), "\\");
}

TEST(basCommon, TrimAtNul) {
  EXPECT_EQ(TrimAtNul(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(TrimAtNul("abcdef"), "abcdef");
  EXPECT_EQ(TrimAtNul(std::string("\0abc", 4)), "");
  EXPECT_EQ(TrimAtNul(std::string(255, '\0')), "");
}

TEST(basCommon, UnquotePath) {
  EXPECT_EQ(UnquotePath("  \"C:\\Program Files\\x.exe\"  "), "C:\\Program Files\\x.exe");
  EXPECT_EQ(UnquotePath(" \"C:\\x "), "\"C:\\x");
  EXPECT_EQ(UnquotePath("C:\\x\" "), "C:\\x\"");
  EXPECT_EQ(UnquotePath("\"\""), "");
  EXPECT_EQ(UnquotePath("\"\"a\"\""), "\"a\"");
  EXPECT_EQ(UnquotePath(" \" "), "\"");  // a lone quote is no pair and stays
  EXPECT_EQ(UnquotePath("a \"b\" c"), "a \"b\" c");
}

TEST(basCommon, SetBusyPointerCountsNestedRequests) {
  testing::NullToolkit toolkit;
  busyDepth = 0;
  const std::int16_t hourglass = 11, normal = 0, arrow = 1;
  SetBusyPointer(hourglass, toolkit);
  SetBusyPointer(hourglass, toolkit);
  SetBusyPointer(normal, toolkit);
  EXPECT_EQ(toolkit.mousePointer(), 11);
  EXPECT_EQ(busyDepth, 1);
  SetBusyPointer(normal, toolkit);
  EXPECT_EQ(toolkit.mousePointer(), 0);
  SetBusyPointer(normal, toolkit);  // a release without a request is harmless
  EXPECT_EQ(busyDepth, 0);
  EXPECT_EQ(toolkit.mousePointer(), 0);
  SetBusyPointer(hourglass, toolkit);
  SetBusyPointer(arrow, toolkit);  // set directly; the count stays
  EXPECT_EQ(toolkit.mousePointer(), 1);
  EXPECT_EQ(busyDepth, 1);
  SetBusyPointer(normal, toolkit);
  EXPECT_EQ(toolkit.mousePointer(), 0);
  EXPECT_EQ(toolkit.pointerHistory, (std::vector<int>{11, 11, 11, 0, 0, 11, 1, 0}));
  busyDepth = 0;
}

TEST(basCommon, SystemFolderAndShortPaths) {
  testing::FakeFileSystem fs;
  EXPECT_EQ(GetSystemDir(fs), "C:\\windows\\system32\\");
  fs.systemFolderFails = true;
  EXPECT_EQ(GetSystemDir(fs), "");

  // No short names: the long path comes back unchanged.
  EXPECT_EQ(ShortPathOf(fs, "C:\\Program Files\\Pelmora\\Pelmora.exe"),
            "C:\\Program Files\\Pelmora\\Pelmora.exe");
  fs.shortNames["C:\\Program Files\\Pelmora\\Pelmora.exe"] =
      std::string("C:\\PROGRA~1\\Pelmora\\Pelmora.exe\0\0", 34);
  EXPECT_EQ(ShortPathOf(fs, "c:\\program files\\pelmora\\pelmora.exe"),
            "C:\\PROGRA~1\\Pelmora\\Pelmora.exe");
}

}  // namespace
}  // namespace pm
