#include "unattended/commandLine.h"

#include <gtest/gtest.h>

#include "install/installWindow.h"
#include "platform/ansiText.h"
#include "unattended/answerText.h"
#include "unattended/exitCodes.h"
#include "unattended/outcome.h"

namespace pm::unattended {
namespace {

TEST(CommandLine, ReadsTheSwitchesAdministratorsTypeAndRefusesTheRest) {
  using W = Program;
  struct Case {
    Program program;
    std::vector<std::string> args;
    const char* expected;  // "help", "[plan[-json]] [quiet] FILE LOG" or the error's start
  };
  const Case cases[] = {
      {W::Unattended, {"/?"}, "help"},  // never a file named "/?"
      {W::Window, {"/quiet", "--help"}, "help"},
      {W::Unattended, {"-h"}, "help"},
      {W::Window,
       {"/S", "/Answers=C:\\a b.ini", "/LOG=C:\\t\\run.log"},
       "quiet C:\\a b.ini C:\\t\\run.log"},
      {W::Window, {"/VERYSILENT", "/answers=a.ini"}, "quiet a.ini "},
      {W::Unattended, {"/tmp/answers.ini", "/log=/tmp/x.log"}, "/tmp/answers.ini /tmp/x.log"},
      {W::Unattended, {"--no-pacing", "-answers=a.ini"}, "a.ini "},
      {W::Window, {}, " "},
      {W::Window, {"/log=run.log"}, " run.log"},
      {W::Window, {"/answers=a.ini"}, "/answers needs /quiet"},
      {W::Window, {"/quiet"}, "the answer file is missing"},
      {W::Window, {"/bogus"}, "unknown option /bogus"},
      {W::Window, {"a.ini"}, "unknown argument a.ini"},
      {W::Unattended, {"/quiet", "a.ini"}, "unknown option /quiet"},
      {W::Unattended, {"a.ini", "/answers=b.ini"}, "only one answer file"},
      {W::Unattended, {"/log=", "a.ini"}, "the log file's name is empty"},
      // A plan of PMSetup runs without windows; the format needs the plan.
      {W::Window, {"/plan", "/answers=a.ini"}, "plan quiet a.ini "},
      {W::Unattended, {"--plan", "--plan-format=JSON", "a.ini"}, "plan-json a.ini "},
      {W::Unattended, {"--plan-format=json", "a.ini"}, "--plan-format needs --plan"},
      {W::Unattended, {"--plan", "--plan-format=xml", "a.ini"}, "unknown plan format xml"},
  };
  for (const Case& c : cases) {
    const auto line = parseCommandLine(c.args, c.program);
    std::string got;
    if (!line) {
      got = line.message();
    } else if (line->help) {
      got = "help";
    } else {
      got = std::string(line->plan ? (line->planJson ? "plan-json " : "plan ") : "") +
            (line->quiet ? "quiet " : "") + line->answerFile + " " + line->logFile;
    }
    EXPECT_TRUE(got.starts_with(c.expected)) << c.args.size() << " args gave " << got;
  }
  EXPECT_EQ(logFileIn({"/bogus", "/log=C:\\r.log"}), "C:\\r.log");  // a bad line is logged too
}

TEST(ExitCodes, LinuxKeepsItsOwnAndWindowsGivesTheInstallersNumbers) {
  const std::pair<int, int> codes[] = {{kCompleted, 0},     {kDeclined, 1602}, {kStageFailed, 1603},
                                       {kEndedEarly, 1603}, {kBusy, 1618},     {kDamaged, 1620},
                                       {kBadInput, 1639}};
  for (const auto& [code, windows] : codes) {
    EXPECT_EQ(exitCodeIn(ExitNumbers::Linux, code), code);
    EXPECT_EQ(exitCodeIn(ExitNumbers::WindowsInstaller, code), windows) << code;
  }
  InstallState closedEarly;
  closedEarly.eulaAccepted = true;
  EXPECT_EQ(windowExitCode(closedEarly), kDeclined);  // the window closed: cancelled
}

TEST(AnswerText, EveryEditorsEncodingGivesTheNameAsWritten) {
  const std::string name =
      "Ren\xC3\xA9"
      "e M\xC3\xBCller";  // UTF-8
  const std::pair<std::string, const char*> files[] = {
      {"Ren\xE9"
       "e M\xFCller",
       "cp1252"},
      {name, "UTF-8"},
      {"\xEF\xBB\xBF" + name, "UTF-8 with a mark"},
      {std::string("\xFF\xFER\0e\0n\0\xE9\0e\0 \0M\0\xFC\0l\0l\0e\0r\0", 26), "UTF-16LE"},
      {std::string("\xFE\xFF\0R\0e\0n\0\xE9\0e\0 \0M\0\xFC\0l\0l\0e\0r", 26), "UTF-16BE"},
  };
  for (const auto& [bytes, encoding] : files) {
    const auto text = answerText(bytes, cp1252ToUtf8);
    ASSERT_TRUE(text) << encoding;
    EXPECT_EQ(text.value(), name) << encoding;
  }
  EXPECT_EQ(answerText("\xFF\xFE\x01\xD8", cp1252ToUtf8).message(), "is not text");
  EXPECT_FALSE(
      answerText("\xEF\xBB\xBFRen\xE9"
                 "e",
                 cp1252ToUtf8));
  EXPECT_FALSE(isUtf8("\xED\xA0\x80"));  // a surrogate
  EXPECT_FALSE(isUtf8("\xC0\xAF"));      // an overlong "/"
  EXPECT_FALSE(isUtf8("\xE2\x82"));      // cut short
}

}  // namespace
}  // namespace pm::unattended
