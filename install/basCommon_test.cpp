#include "install/basCommon.h"

#include <gtest/gtest.h>

#include "tests/fakeInstallWindow.h"

namespace pm {
namespace {

TEST(basCommon, PathHelpersTrimAndQuoteAsTheInstallerNeeds) {
  const std::pair<std::string, std::string> separated[] = {
      {"C:\\Program Files\\Pelmora", "C:\\Program Files\\Pelmora\\"},
      {"/usr/lib/", "/usr/lib/"},
      {"C:\\dir   ", "C:\\dir\\"},     // trailing blanks go
      {"  C:\\dir", "  C:\\dir\\"},    // leading blanks stay
      {"C:\\dir\\  ", "C:\\dir\\  "},  // already ends in one: untouched
      {"   ", "\\"},
  };
  for (auto [path, expected] : separated) {
    EnsureTrailingSeparator(path);
    EXPECT_EQ(path, expected);
  }
  EXPECT_EQ(TrimAtNul(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(TrimAtNul(std::string(255, '\0')), "");

  const std::pair<const char*, const char*> unquoted[] = {
      {"  \"C:\\Program Files\\x.exe\"  ", "C:\\Program Files\\x.exe"},
      {" \"C:\\x ", "\"C:\\x"},
      {"\"\"a\"\"", "\"a\""},
      {" \" ", "\""},  // a lone quote is no pair and stays
      {"a \"b\" c", "a \"b\" c"},
  };
  for (const auto& [path, expected] : unquoted) EXPECT_EQ(UnquotePath(path), expected) << path;
}

}  // namespace
}  // namespace pm
