#include "unattended/exitCodes.h"

#include "unattended/outcome.h"

namespace pm::unattended {

int exitCodeIn(ExitNumbers numbers, int code) {
  if (numbers == ExitNumbers::Linux) return code;
  switch (code) {
    case kCompleted:
      return 0;
    case kDeclined:
      return 1602;  // ERROR_INSTALL_USEREXIT
    case kBusy:
      return 1618;  // ERROR_INSTALL_ALREADY_RUNNING
    case kDamaged:
      return 1620;  // ERROR_INSTALL_PACKAGE_INVALID
    case kBadInput:
      return 1639;  // ERROR_INVALID_COMMAND_LINE
    default:
      return 1603;  // ERROR_INSTALL_FAILURE
  }
}

int windowExitCode(const InstallState& state) {
  const int code = judge(state).exitCode;
  return code == kEndedEarly ? kDeclined : code;
}

}  // namespace pm::unattended
