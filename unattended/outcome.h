// How an unattended run ended, read from the install state's record of the run.
//
// Exit codes of PMSetupUnattended:
//   0   the install ran to its end and no stage recorded a failure
//   2   the agreement was declined (or could not be shown): only the library
//       stage and the validation ran
//   3   a stage recorded a failure, or the report could not be written to
//       "PMInstall.dbg" (this wins over 2)
//   4   the install was ended before it finished (an error no stage caught, or
//       the program was ended); this wins over 3. Also: the machine's install
//       lock cannot be made at all (a machine folder that cannot be written),
//       and nothing was changed
//   5   another installer is running on this machine; nothing was changed
//   6   a cabinet beside the installer is damaged or incomplete; nothing was
//       changed (the message names it)
//   64  the command line or the answer file is wrong; nothing was changed
//
// Every stage records its failures in the install state as it reports them
// (InstallWindow::reportFailure); "Executable not found - aborting upgrade." is
// not one: the install goes on and puts the help files in as well.
#pragma once

#include <string>
#include <vector>

#include "install/installWindow.h"

namespace pm::unattended {

enum ExitCode : int {
  kCompleted = 0,
  kDeclined = 2,
  kStageFailed = 3,
  kEndedEarly = 4,
  kBusy = 5,
  kDamaged = 6,
  kBadInput = 64,
};

struct Outcome {
  int exitCode = kCompleted;
  std::vector<std::string> failures;  // what failed, one line each
};

Outcome judge(const InstallState& state);

}  // namespace pm::unattended
