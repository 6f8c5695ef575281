// How a run's record becomes the exit code: a failure wins over a declined
// agreement, an early stop over both.
#include "unattended/outcome.h"

#include <gtest/gtest.h>

namespace pm::unattended {
namespace {

TEST(Outcome, TheExitCodeFollowsWhatTheRunRecorded) {
  struct Row {
    bool finished, agreed, failed;
    int code;
  };
  for (const Row& r :
       {Row{true, true, false, kCompleted}, Row{true, false, false, kDeclined},
        Row{true, true, true, kStageFailed}, Row{true, false, true, kStageFailed},
        Row{false, false, true, kEndedEarly}, Row{false, true, false, kEndedEarly}}) {
    InstallState state;
    state.finished = r.finished;
    state.eulaAccepted = r.agreed;
    if (r.failed) state.failures.push_back({"libraryCheck", "Could not install x.dll"});
    const Outcome outcome = judge(state);
    EXPECT_EQ(outcome.exitCode, r.code) << r.finished << r.agreed << r.failed;
    EXPECT_EQ(outcome.failures.size(), r.failed ? 1u : 0u);
  }
}

}  // namespace
}  // namespace pm::unattended
