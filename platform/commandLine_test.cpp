#include <gtest/gtest.h>

#include "platform/process.h"

namespace pm {
namespace {

using Args = std::vector<std::string>;

TEST(SplitWindowsCommandLine, FollowsTheRulesOfWindowsPrograms) {
  const struct {
    const char* line;
    Args args;
  } cases[] = {
      // The stages' own command lines, with a quoted folder and a trailing
      // backslash, are run by every end-to-end road.
      // The program name takes no backslash rules.
      {R"("C:\Program Files\Pelmora\Pelmora.exe" x)",
       {R"(C:\Program Files\Pelmora\Pelmora.exe)", "x"}},
      {R"(C:\dir\tool.exe\ a)", {R"(C:\dir\tool.exe\)", "a"}},
      {R"("prog"arg next)", {"prog", "arg", "next"}},
      {R"("" a)", {"", "a"}},
      // 2n backslashes and a quote: n backslashes, and the quote groups.
      {R"(p a\\"b c")", {"p", R"(a\b c)"}},
      // 2n+1 backslashes and a quote: n backslashes and a literal quote.
      {R"(p a\\\"b c)", {"p", R"(a\"b)", "c"}},
      {R"(p \"x\")", {"p", R"("x")"}},
      {R"(p a\\b\c\\)", {"p", R"(a\\b\c\\)"}},
      // A doubled quote inside a quoted stretch gives a literal quote.
      {R"(p "a""b" c)", {"p", R"(a"b c)"}},
      {R"(p "a b)", {"p", "a b"}},
      {"  p \t a   b \t ", {"p", "a", "b"}},
      {R"(p "" b "")", {"p", "", "b", ""}},
      {R"(p " a ")", {"p", " a "}},
      {"", {}},
      {" \t ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitWindowsCommandLine(c.line), c.args) << c.line;
}

}  // namespace
}  // namespace pm
