// PMSetupUnattended: the upgrade installer without windows. It runs the same
// install window and sequence as PMSetup, answering every dialog from an
// answer file (see answerFile.h and the README), prints each report line as it
// is written, writes "PMInstall.dbg" as "Complete" does, and exits with a code
// that says how the run ended (see outcome.h).
//
//   PMSetupUnattended [--no-pacing] ANSWER_FILE
//
// Like PMSetup it works on the machine of $PMSETUP_MACHINE and the installer
// folder it was started from. The answer file is read and checked before
// anything else happens, so a bad one changes nothing.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/services.h"
#include "unattended/outcome.h"
#include "unattended/runLog.h"
#include "unattended/textWriter.h"
#include "unattended/unattendedRun.h"

namespace {

// Writes to a file descriptor: the report's own copy of stdout.
class FdOut : public pm::unattended::TextWriter {
 public:
  explicit FdOut(int fd) : fd_(fd) {}
  void write(std::string_view text) override {
    while (!text.empty()) {
      const ssize_t w = ::write(fd_, text.data(), text.size());
      if (w <= 0) break;
      text.remove_prefix(static_cast<std::size_t>(w));
    }
  }

 private:
  int fd_;
};

}  // namespace

int main(int argc, char** argv) {
  namespace u = pm::unattended;
  u::Options options;
  u::Answers answers;
  const std::vector<std::string> args(argv + 1, argv + argc);
  u::FileOut out(stdout), err(stderr);
  u::RunLog log(args, err);
  if (auto ended = u::prepare(args, options, answers, out, log.notes())) {
    return log.finish(*ended, u::ExitNumbers::Linux);
  }
  // stdout carries the report alone: the outside tools that the stages run
  // inherit stdout, so it is pointed at stderr for them and the report keeps a
  // copy of the real one.
  std::fflush(stdout);
  const int reportFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (reportFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    std::perror("PMSetupUnattended: cannot set up the output");
    return u::kEndedEarly;
  }
  FdOut report(reportFd);
  return log.finish(u::install(options, answers, *pm::makePlatform(), log.tee(report), log.notes()),
                    u::ExitNumbers::Linux);
}
