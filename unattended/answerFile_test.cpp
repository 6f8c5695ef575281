#include "unattended/answerFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/ansiText.h"
#include "tests/tempFolder.h"

namespace pm::unattended {
namespace {

TEST(AnswerFile, ReadsEveryKeyWithCommentsCrLfQuotesAndAnyLetterCase) {
  const auto answers = parseAnswers(
      "# demo answers\r\n; another comment\r\n\r\n  Agreement = Accept  \r\nHELP=yes\r\n"
      "full = off\r\nfolder = D:\\Apps\\Pelmora #2\r\nname = \" Ann O'Neill \"\r\n"
      "launch = TRUE\r\nvalid-dates = 1\r\n",
      "answers.ini");
  ASSERT_TRUE(answers) << answers.message();
  EXPECT_TRUE(answers->agree && answers->help && answers->launch && answers->validDates);
  EXPECT_FALSE(answers->full);
  EXPECT_EQ(answers->folder, "D:\\Apps\\Pelmora #2");  // no comments after a value
  EXPECT_EQ(answers->name, " Ann O'Neill ");           // quotes keep the blanks
}

TEST(AnswerFile, NamesTheFileAndLineOfEveryMistake) {
  const std::pair<const char*, const char*> cases[] = {
      {"agreement = accept\nhelp yes\n", "a.ini:2: expected \"key = value\""},
      {"agreement = accept\nHelp = no\nhelp = yes\n", "a.ini:3: \"help\" is given twice"},
      {"agreement = sure\n", "a.ini:1: \"agreement\" must be accept or decline"},
      {"agreement = accept\nname = \"Ann\n", "a.ini:2: the value of \"name\" has an unmatched"},
      {"agreement = accept\nfolder =\n", "a.ini:2: \"folder\" needs a folder"},
      {"agreement = accept\nname = A\x01nn\n", "a.ini:2: control characters"},
      {"help = yes\n", "a.ini: \"agreement\" is missing"},
  };
  for (const auto& [text, expected] : cases) {
    const auto answers = parseAnswers(text, "a.ini");
    ASSERT_FALSE(answers) << text;
    EXPECT_TRUE(answers.message().starts_with(expected)) << text << " gave " << answers.message();
  }
}

TEST(AnswerFile, RefusesFilesThatCannotBeAnswerFiles) {
  testing::TempFolder temp;
  const auto dir = temp.path;
  EXPECT_FALSE(readAnswerFile(dir.string(), cp1252ToUtf8));  // a folder
  std::ofstream(dir / "binary.ini", std::ios::binary)
      << std::string("agreement = accept\n\0\x7f", 21);
  EXPECT_NE(readAnswerFile((dir / "binary.ini").string(), cp1252ToUtf8).message().find("not text"),
            std::string::npos);
  std::ofstream(dir / "huge.ini") << "agreement = accept\n" << std::string(70 * 1024, '#');
  EXPECT_FALSE(readAnswerFile((dir / "huge.ini").string(), cp1252ToUtf8));
}

}  // namespace
}  // namespace pm::unattended
