#include "unattended/outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pm::unattended {
namespace {

// A report: the library stage, these lines, and (unless cut short) the ending.
std::string report(const std::vector<std::string>& middle, bool ended = true) {
  std::string text = "Library File Check\r\nLibrary Files Installed.\r\n";
  for (const auto& l : middle) text += l + "\r\n";
  if (ended) text += "INSTALL COMPLETE\r\nDeleting temporary data\r\nInstall Complete.\r\n";
  return text;
}

TEST(Outcome, FailuresWinOverADeclinedAgreementAndAnEarlyStopOverBoth) {
  const std::string database = "DATABASE Upgrade Installation";
  const struct {
    std::string report;
    bool agreed;
    int exitCode;
  } cases[] = {
      // A missing executable is reported, but the install goes on: not a failure.
      {report({"Executable not found - aborting upgrade.", "Eula Accepted", database,
               "--- Database Install Complete\r\n"}),
       true, kCompleted},
      {report({"--- Previous install validation complete.\r\n"}), false, kDeclined},
      {report({"Could not install plmgrid.ocx: it was not found in PLMLibrary.CAB"}), false,
       kStageFailed},
      {report({"Test DSN Failed.  DSN Connection not available on current system."}), true,
       kStageFailed},
      {report({"Help index not found, aborting help install"}), true, kStageFailed},
      {report({"Registry value not written: HKEY_CLASSES_ROOT\\.pmh: denied"}), true, kStageFailed},
      {report({"Could not delete Z:\\setup\\PMUpTemp"}), true, kStageFailed},
      {report({"Could not install x", "Eula Accepted", database}, false), true, kEndedEarly},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(judge(c.report, c.agreed).exitCode, c.exitCode) << c.report;
  }
}

TEST(Outcome, ADatabaseStageThatStoppedWithoutItsClosingLineNamesItsLastLine) {
  const Outcome outcome =
      judge(report({"Eula Accepted", "DATABASE Upgrade Installation", "Copying database",
                    "Permission denied PosixFileSystem 13", "Environment Settings Check",
                    "--- Environment values completed.\r\n"}),
            true);
  EXPECT_EQ(outcome.exitCode, kStageFailed);
  EXPECT_EQ(outcome.failures, std::vector<std::string>{"Permission denied PosixFileSystem 13"});
}

}  // namespace
}  // namespace pm::unattended
