#include "unattended/answerFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace pm::unattended {
namespace {

TEST(AnswerFile, ReadsEveryKeyWithCommentsCrLfQuotesAndAnyLetterCase) {
  const auto answers = parseAnswers(
      "# demo answers\r\n"
      "; another comment\r\n"
      "\r\n"
      "  Agreement = Accept  \r\n"
      "HELP=yes\r\n"
      "full = off\r\n"
      "folder = D:\\Apps\\Pelmora #2\r\n"
      "name = \" Ann O'Neill \"\r\n"
      "launch = TRUE\r\n"
      "valid-dates = 1\r\n",
      "answers.ini");
  ASSERT_TRUE(answers) << answers.message();
  EXPECT_TRUE(answers->agree);
  EXPECT_TRUE(answers->help);
  EXPECT_FALSE(answers->full);
  EXPECT_EQ(answers->folder, "D:\\Apps\\Pelmora #2");  // no comments after a value
  EXPECT_EQ(answers->name, " Ann O'Neill ");           // quotes keep the blanks
  EXPECT_TRUE(answers->launch);
  EXPECT_TRUE(answers->validDates);
}

TEST(AnswerFile, LeavesTheDialogsTheirOwnDefaultsWhenOnlyTheAgreementIsGiven) {
  const auto answers = parseAnswers("agreement = decline\n", "a.ini");
  ASSERT_TRUE(answers) << answers.message();
  EXPECT_FALSE(answers->agree || answers->help || answers->full || answers->launch ||
               answers->validDates || answers->folder || answers->name);
  EXPECT_EQ(parseAnswers("agreement = accept\nname = \"\"\n", "a.ini")->name, "");
}

TEST(AnswerFile, NamesTheFileAndLineOfEveryMistake) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"agreement = accept\nhelp yes\n", "a.ini:2: expected \"key = value\""},
      {"agreement = accept\n\n# c\ncolour = blue\n", "a.ini:4: unknown key \"colour\""},
      {"agreement = accept\nHelp = no\nhelp = yes\n", "a.ini:3: \"help\" is given twice"},
      {"agreement = accept\nlaunch = maybe\n", "a.ini:2: \"launch\" must be yes or no"},
      {"agreement = sure\n", "a.ini:1: \"agreement\" must be accept or decline"},
      {"agreement = accept\nname = \"Ann\n", "a.ini:2: the value of \"name\" has an unmatched"},
      {"agreement = accept\nfolder =\n", "a.ini:2: \"folder\" needs a folder"},
      {"agreement = accept\nname = A\x01nn\n", "a.ini:2: control characters"},
      {"= accept\n", "a.ini:1: a key is missing"},
      {"help = yes\n", "a.ini: \"agreement\" is missing"},
      {"", "a.ini: \"agreement\" is missing"},
  };
  for (const Case& c : cases) {
    const auto answers = parseAnswers(c.text, "a.ini");
    ASSERT_FALSE(answers) << c.text;
    EXPECT_EQ(answers.message().rfind(c.expected, 0), 0u)
        << "for " << c.text << " got: " << answers.message();
  }
}

TEST(AnswerFile, RefusesFilesThatCannotBeAnswerFiles) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("pm-answers-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string missing = (dir / "missing.ini").string();
  EXPECT_NE(readAnswerFile(missing).message().find(missing), std::string::npos);
  EXPECT_FALSE(readAnswerFile(dir.string()));  // a folder
  std::ofstream(dir / "binary.ini", std::ios::binary)
      << std::string("agreement = accept\n\0\x7f", 21);
  EXPECT_NE(readAnswerFile((dir / "binary.ini").string()).message().find("not text"),
            std::string::npos);
  std::ofstream(dir / "huge.ini") << "agreement = accept\n" << std::string(70 * 1024, '#');
  EXPECT_FALSE(readAnswerFile((dir / "huge.ini").string()));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pm::unattended
