#include <gtest/gtest.h>

#include "platform/process.h"

namespace pm {
namespace {

using Args = std::vector<std::string>;

TEST(SplitWindowsCommandLine, CabinetAndRuntimeCommandLinesOfTheStages) {
  EXPECT_EQ(
      splitWindowsCommandLine(
          R"(Cabarc -o x "C:\setup\PMUpTemp\PLMLibrary.CAB" library.txt "C:\setup\PMUpTemp"\)"),
      (Args{"Cabarc", "-o", "x", R"(C:\setup\PMUpTemp\PLMLibrary.CAB)", "library.txt",
            R"(C:\setup\PMUpTemp\)"}));
  // A member in quotes, and an empty member that leaves two blanks.
  EXPECT_EQ(splitWindowsCommandLine(R"(Cabarc -o X "T\P.CAB" "my lib.dll" "T"\)"),
            (Args{"Cabarc", "-o", "X", R"(T\P.CAB)", "my lib.dll", R"(T\)"}));
  EXPECT_EQ(splitWindowsCommandLine(R"(Cabarc -o X "T\P.CAB"  "T"\)"),
            (Args{"Cabarc", "-o", "X", R"(T\P.CAB)", R"(T\)"}));
  EXPECT_EQ(splitWindowsCommandLine(R"(VBRun60 /Q /T:"C:\Program Files\PMUpTemp")"),
            (Args{"VBRun60", "/Q", R"(/T:C:\Program Files\PMUpTemp)"}));
  EXPECT_EQ(splitWindowsCommandLine("regsvr32 /s scrrun.dll"),
            (Args{"regsvr32", "/s", "scrrun.dll"}));
}

TEST(SplitWindowsCommandLine, ProgramNameTakesNoBackslashRules) {
  EXPECT_EQ(splitWindowsCommandLine(R"("C:\Program Files\Pelmora\Pelmora.exe" x)"),
            (Args{R"(C:\Program Files\Pelmora\Pelmora.exe)", "x"}));
  // Unquoted, the name runs to the first blank; backslashes before a quote stay.
  EXPECT_EQ(splitWindowsCommandLine(R"(C:\dir\tool.exe\ a)"), (Args{R"(C:\dir\tool.exe\)", "a"}));
  // After a quoted name the next argument starts at once.
  EXPECT_EQ(splitWindowsCommandLine(R"("prog"arg next)"), (Args{"prog", "arg", "next"}));
  EXPECT_EQ(splitWindowsCommandLine(R"("" a)"), (Args{"", "a"}));
}

TEST(SplitWindowsCommandLine, BackslashesAndQuotes) {
  // 2n backslashes + quote: n backslashes and the quote groups.
  EXPECT_EQ(splitWindowsCommandLine(R"(p a\\"b c")"), (Args{"p", R"(a\b c)"}));
  // 2n+1 backslashes + quote: n backslashes and a literal quote.
  EXPECT_EQ(splitWindowsCommandLine(R"(p a\\\"b c)"), (Args{"p", R"(a\"b)", "c"}));
  EXPECT_EQ(splitWindowsCommandLine(R"(p \"x\")"), (Args{"p", R"("x")"}));
  // Backslashes not before a quote are literal.
  EXPECT_EQ(splitWindowsCommandLine(R"(p a\\b\c\\)"), (Args{"p", R"(a\\b\c\\)"}));
  // Three quotes in a row inside a quoted stretch give one literal quote.
  EXPECT_EQ(splitWindowsCommandLine(R"(p "a""b" c)"), (Args{"p", R"(a"b c)"}));
  // A quote that is never closed runs to the end.
  EXPECT_EQ(splitWindowsCommandLine(R"(p "a b)"), (Args{"p", "a b"}));
}

TEST(SplitWindowsCommandLine, BlanksAndEmptyArguments) {
  EXPECT_EQ(splitWindowsCommandLine("  p \t a   b \t "), (Args{"p", "a", "b"}));
  EXPECT_EQ(splitWindowsCommandLine(R"(p "" b "")"), (Args{"p", "", "b", ""}));
  EXPECT_EQ(splitWindowsCommandLine(R"(p " a ")"), (Args{"p", " a "}));
  EXPECT_TRUE(splitWindowsCommandLine("").empty());
  EXPECT_TRUE(splitWindowsCommandLine(" \t ").empty());
}

}  // namespace
}  // namespace pm
