#include "unattended/outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pm::unattended {
namespace {

std::string report(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

const std::vector<std::string> kLibrary = {"Library File Check", "Temporary directory created.",
                                           "Copied Extraction files.", "Library Files Installed."};
const std::vector<std::string> kEnd = {"INSTALL COMPLETE", "Deleting temporary data",
                                       "Install Complete."};

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(Outcome, CompletedDeclinedAndEndedEarlyRuns) {
  const auto accepted =
      join({kLibrary,
            {"Previous Install at : C:\\P", "Executable not found - aborting upgrade.",
             "Eula Accepted", "DATABASE Upgrade Installation", "--- Database Install Complete\r\n",
             "Environment Settings Check"},
            kEnd});
  // A missing executable is reported, but the install goes on: not a failure.
  EXPECT_EQ(judge(report(accepted), true).exitCode, kCompleted);

  const auto declined = join({kLibrary, {"--- Previous install validation complete.\r\n"}, kEnd});
  EXPECT_EQ(judge(report(declined), false).exitCode, kDeclined);

  const auto cut = join({kLibrary, {"Eula Accepted", "DATABASE Upgrade Installation"}});
  EXPECT_EQ(judge(report(cut), true).exitCode, kEndedEarly);
}

TEST(Outcome, ReportedFailuresWinOverADeclinedAgreement) {
  const auto lines =
      join({kLibrary, {"Could not install plmgrid.ocx: it was not found in PLMLibrary.CAB"}, kEnd});
  const Outcome outcome = judge(report(lines), false);
  EXPECT_EQ(outcome.exitCode, kStageFailed);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].rfind("Could not install plmgrid.ocx", 0), 0u);

  for (const char* line : {"Test DSN Failed.  DSN Connection not available on current system or "
                           "registry blocked.",
                           "Help index not found, aborting help install",
                           "Registry value not written: HKEY_CLASSES_ROOT\\.pmh: denied",
                           "Could not delete Z:\\setup\\PMUpTemp"}) {
    EXPECT_EQ(judge(report(join({kLibrary, {line}, kEnd})), true).exitCode, kStageFailed) << line;
  }
}

TEST(Outcome, ADatabaseStageThatStoppedWithoutItsClosingLineIsAFailure) {
  const auto lines = join({kLibrary,
                           {"Eula Accepted", "DATABASE Upgrade Installation",
                            "Database exists.  Making backup and overwriting.", "Copying database",
                            "Permission denied PosixFileSystem 13", "Environment Settings Check",
                            "--- Environment values completed.\r\n"},
                           kEnd});
  const Outcome outcome = judge(report(lines), true);
  EXPECT_EQ(outcome.exitCode, kStageFailed);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0], "Permission denied PosixFileSystem 13");
}

}  // namespace
}  // namespace pm::unattended
