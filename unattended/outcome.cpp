#include "unattended/outcome.h"

namespace pm::unattended {

Outcome judge(const InstallState& state) {
  Outcome outcome;
  for (const Failure& failure : state.failures) {
    outcome.failures.push_back(failure.stage + ": " + failure.what);
  }
  if (!state.finished) {
    outcome.exitCode = kEndedEarly;
  } else if (!outcome.failures.empty()) {
    outcome.exitCode = kStageFailed;
  } else if (!state.eulaAccepted) {
    outcome.exitCode = kDeclined;
  }
  return outcome;
}

}  // namespace pm::unattended
