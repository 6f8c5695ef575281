#include "tools/cabarc/memberNames.h"

#include <gtest/gtest.h>

namespace pm::cabarc {
namespace {

TEST(MemberNames, SafeNamesKeepTheirPartsAndUnsafeOnesAreRefused) {
  EXPECT_EQ(checkMemberName(".\\dir\\\\sub/x.dll").parts,
            (std::vector<std::string>{"dir", "sub", "x.dll"}));
  EXPECT_TRUE(checkMemberName("..a\\b..\\...").ok);  // dots inside names are fine
  for (const char* bad : {"", "..", "a\\..\\..\\x", "a/../x", "\\x", "/x", "C:x", "dir\\", ".",
                          "a\\.", "x:y", "a*b", "a?b", "a\"b", "a|b", "a<b", "a\tb"}) {
    const SafeName s = checkMemberName(bad);
    EXPECT_FALSE(s.ok || s.reason.empty() || !s.parts.empty()) << bad;
  }
}

TEST(MemberNames, WildcardsFollowWindowsAndIgnoreCase) {
  EXPECT_TRUE(wildcardMatch("*.*", "README"));  // as the help stage asks for every file
  EXPECT_TRUE(wildcardMatch("m?v*60.*", "MSVBVM60.DLL"));
  EXPECT_FALSE(wildcardMatch("*.dll", "x.dll.bak"));
  EXPECT_TRUE(patternPicksMember("x.dll", "sub\\X.DLL"));  // no separator: the file name
  EXPECT_TRUE(patternPicksMember("sub/*.dll", "SUB\\x.dll"));
  EXPECT_FALSE(patternPicksMember("other\\*.dll", "sub\\x.dll"));
}

TEST(MemberNames, AnsiNamesAreReadAsWindows1252) {
  EXPECT_EQ(cp1252ToUtf8("caf\xE9 \x80\x9F\x81.txt"), "caf\u00E9 \u20AC\u0178\u0081.txt");
}

}  // namespace
}  // namespace pm::cabarc
