#include "packages/cabinet.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(CabinetCommand, QuotesTheCabinetAndDestinationButPassesTheMemberAsGiven) {
  EXPECT_EQ(cabarcCommand('x', "C:\\setup\\PMUpTemp", "PLMLibrary.CAB", "library.txt"),
            "Cabarc -o x \"C:\\setup\\PMUpTemp\\PLMLibrary.CAB\" library.txt "
            "\"C:\\setup\\PMUpTemp\"\\");
  EXPECT_EQ(cabarcCommand('X', "C:\\T", "Pelmora.CAB", ""),
            "Cabarc -o X \"C:\\T\\Pelmora.CAB\"  \"C:\\T\"\\");
  EXPECT_EQ(cabarcCommand('X', "C:\\T", "PLMHelp.CAB", "\"a b.htm\""),
            "Cabarc -o X \"C:\\T\\PLMHelp.CAB\" \"a b.htm\" \"C:\\T\"\\");
}

TEST(ListLines, NamesLoseEveryQuoteAndOnlyPlainNamesAreAccepted) {
  EXPECT_EQ(listLineName("\"a \"b\".dll\""), "a b.dll");
  EXPECT_TRUE(namesExecutable("\"Pelmora.exe\""));
  EXPECT_FALSE(namesExecutable("PELMORA.EXE"));
  for (const char* good : {"a.dll", "two words.htm", ".hidden", "a..b"})
    EXPECT_TRUE(isPlainFileName(good)) << good;
  for (const char* bad : {"", ".", "..", "..\\x.dll", "sub/x.dll", "C:x.dll", "*.*", "a?b", "a\tb"})
    EXPECT_FALSE(isPlainFileName(bad)) << bad;
}

}  // namespace
}  // namespace pm
