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
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/services.h"
#include "unattended/outcome.h"
#include "unattended/runLog.h"
#include "unattended/unattendedRun.h"

namespace {

// Writes to a file descriptor: the report's own copy of stdout.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd) : fd_(fd) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::streamsize done = 0;
    while (done < n) {
      const ssize_t w = ::write(fd_, s + done, static_cast<std::size_t>(n - done));
      if (w <= 0) break;
      done += w;
    }
    return done;
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
  u::RunLog log(args);
  if (auto ended = u::prepare(args, options, answers)) {
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
  FdBuffer reportBuffer(reportFd);
  std::ostream report(&reportBuffer);

  return log.finish(u::install(options, answers, *pm::makePlatform(), log.tee(report)),
                    u::ExitNumbers::Linux);
}
