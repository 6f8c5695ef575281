// The exit codes as each system's deployment tools read them. Linux keeps the
// installer's own codes (outcome.h); Windows gives the Windows Installer's
// numbers, which Intune, Configuration Manager and Ansible already know:
//
//   outcome                                        Linux  Windows
//   completed                                          0        0
//   agreement declined; window program cancelled       2     1602
//   a stage reported a failure                         3     1603
//   ended before the end (an error no stage caught)    4     1603
//   another installer is running                       5     1618
//   the installer's cabinets are damaged               6     1620
//   bad command line or answer file                   64     1639
//
// An install that stopped half-way is a fatal error to a deployment tool
// (1603), not a user's choice (1602) nor a reason to retry (1618): retrying
// would run into the same error.
#pragma once

#include "install/installWindow.h"

namespace pm::unattended {

enum class ExitNumbers { Linux, WindowsInstaller };

// `code` (outcome.h) in the given numbering.
int exitCodeIn(ExitNumbers numbers, int code);

// The outcome (outcome.h) of the window program: as judge() has it, except
// that a window closed before the end was the user's cancel (kDeclined).
int windowExitCode(const InstallState& state);

}  // namespace pm::unattended
