#include "unattended/answerFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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
  EXPECT_FALSE(answers->agree);
  EXPECT_FALSE(answers->help || answers->full || answers->launch || answers->validDates);
  EXPECT_FALSE(answers->folder.has_value());
  EXPECT_FALSE(answers->name.has_value());  // keep the name the database holds

  const auto empty = parseAnswers("agreement = accept\nname = \"\"\n", "a.ini");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->name, "");  // an empty name is an answer of its own
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
      std::filesystem::temp_directory_path() /
      ("pm-answers-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  const std::string missing = (dir / "missing.ini").string();
  auto r = readAnswerFile(missing);
  ASSERT_FALSE(r);
  EXPECT_NE(r.message().find(missing), std::string::npos);

  r = readAnswerFile(dir.string());  // a folder
  EXPECT_FALSE(r);

  const auto binary = dir / "binary.ini";
  std::ofstream(binary, std::ios::binary) << std::string("agreement = accept\n\0\x7f", 21);
  r = readAnswerFile(binary.string());
  ASSERT_FALSE(r);
  EXPECT_NE(r.message().find("not text"), std::string::npos);

  const auto huge = dir / "huge.ini";
  std::ofstream(huge) << "agreement = accept\n" << std::string(70 * 1024, '#');
  EXPECT_FALSE(readAnswerFile(huge.string()));

  const auto good = dir / "good.ini";
  std::ofstream(good) << "agreement = accept\n";
  EXPECT_TRUE(readAnswerFile(good.string()));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pm::unattended
