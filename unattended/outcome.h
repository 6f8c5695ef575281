// How an unattended run ended, read from its report and the agreement flag.
//
// Exit codes of PMSetupUnattended:
//   0   the install ran to its end and no stage reported a failure
//   2   the agreement was declined (or could not be shown): only the library
//       stage and the validation ran
//   3   a stage reported a failure, or the report could not be written to
//       "PMInstall.dbg" (this wins over 2)
//   4   the install was ended before it finished (an error no stage caught, or
//       the program was ended); this wins over 3
//   64  the command line or the answer file is wrong; nothing was changed
//
// A stage reports a failure with one of these lines:
//   "Could not ..."                          a file, folder or library not put in place or deleted
//   "Registry value not ..."                 a registry value not read or written
//   "Install folder could not be created..." the folder dialog's folder
//   "Test DSN Failed. ..."                   the data source does not open
//   "--- Database Install Complete (Failed)"
//   "Help index not found, aborting help install"
// and the database stage has failed when it began ("DATABASE Upgrade
// Installation") and never reached its closing line: its error line is the
// last one it wrote. "Executable not found - aborting upgrade." is not a
// failure: the install goes on and puts the help files in as well.
#pragma once

#include <string>
#include <vector>

namespace pm::unattended {

enum ExitCode : int {
  kCompleted = 0,
  kDeclined = 2,
  kStageFailed = 3,
  kEndedEarly = 4,
  kBadInput = 64,
};

struct Outcome {
  int exitCode = kCompleted;
  std::vector<std::string> failures;  // the report lines that show a failure
};

// `report`: the report text, lines ending in CR LF.
Outcome judge(const std::string& report, bool agreementAccepted);

// The report's lines, without their endings.
std::vector<std::string> reportLines(const std::string& report);

}  // namespace pm::unattended
