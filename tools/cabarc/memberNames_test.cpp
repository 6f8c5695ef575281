#include "tools/cabarc/memberNames.h"

#include <gtest/gtest.h>

#include "tools/cabarc/cabarc.h"

namespace pm::cabarc {
namespace {

TEST(MemberNames, SafeNamesKeepTheirPartsAndUnsafeOnesAreRefused) {
  EXPECT_EQ(checkMemberName("a.txt").parts, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(checkMemberName("dir\\sub/x.dll").parts,
            (std::vector<std::string>{"dir", "sub", "x.dll"}));
  EXPECT_EQ(checkMemberName(".\\dir\\\\x").parts, (std::vector<std::string>{"dir", "x"}));
  EXPECT_TRUE(checkMemberName("..a\\b..\\...").ok);  // dots inside names are fine
  for (const char* bad :
       {"", "..", "..\\x", "a\\..\\..\\x", "a/../x", "\\x", "/x", "C:x", "c:\\x", "dir\\", ".",
        "a\\.", "x:y", "a*b", "a?b", "a\"b", "a|b", "a<b", "a\tb"}) {
    const SafeName s = checkMemberName(bad);
    EXPECT_FALSE(s.ok) << bad;
    EXPECT_FALSE(s.reason.empty()) << bad;
    EXPECT_TRUE(s.parts.empty()) << bad;
  }
}

TEST(MemberNames, WildcardsFollowWindowsAndIgnoreCase) {
  EXPECT_TRUE(wildcardMatch("*.*", "README"));
  EXPECT_TRUE(wildcardMatch("*", ""));
  EXPECT_TRUE(wildcardMatch("*.DLL", "msvbvm60.dll"));
  EXPECT_TRUE(wildcardMatch("m?v*60.*", "MSVBVM60.DLL"));
  EXPECT_TRUE(wildcardMatch("a*b*c", "aXXbYYbZc"));
  EXPECT_FALSE(wildcardMatch("a*b*c", "aXXbYYbZ"));
  EXPECT_FALSE(wildcardMatch("?", ""));
  EXPECT_FALSE(wildcardMatch("*.dll", "x.dll.bak"));
  EXPECT_FALSE(wildcardMatch("x.dll", "x.dl"));

  EXPECT_TRUE(patternPicksMember("LIBRARY.TXT", "library.txt"));
  EXPECT_TRUE(patternPicksMember("x.dll", "sub\\X.DLL"));  // no separator: the file name
  EXPECT_TRUE(patternPicksMember("sub/*.dll", "SUB\\x.dll"));
  EXPECT_FALSE(patternPicksMember("other\\*.dll", "sub\\x.dll"));
}

TEST(CabarcCommandLine, TheInstallersArgumentsParse) {
  auto inv = parseCommandLine(
      {"-o", "x", "C:\\S\\PMUpTemp\\PLMLibrary.CAB", "library.txt", "C:\\S\\PMUpTemp\\"});
  ASSERT_TRUE(inv.ok()) << inv.message();
  EXPECT_EQ(inv->command, 'X');
  EXPECT_TRUE(inv->overwrite);
  EXPECT_EQ(inv->names, std::vector<std::string>{"library.txt"});
  EXPECT_EQ(inv->destination, "C:\\S\\PMUpTemp\\");
  // Without a trailing separator the last argument is a member, not a folder.
  inv = parseCommandLine({"X", "a.cab", "x.dll", "C:\\dest"});
  ASSERT_TRUE(inv.ok());
  EXPECT_FALSE(inv->destination);
  EXPECT_EQ(inv->names.size(), 2u);
  // Options come before the command; after it they are names.
  inv = parseCommandLine({"-m", "none", "-p", "-r", "N", "a.cab", "-o"});
  ASSERT_TRUE(inv.ok());
  EXPECT_EQ(inv->compression, Compression::None);
  EXPECT_EQ(inv->names, std::vector<std::string>{"-o"});
}

}  // namespace
}  // namespace pm::cabarc
