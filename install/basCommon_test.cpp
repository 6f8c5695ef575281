#include "install/basCommon.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

// Names in the cabinets' lists may come quoted, or with stray quotes.
TEST(basCommon, UnquotePathRemovesOnlyOneEnclosingPair) {
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
