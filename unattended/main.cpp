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
#include <exception>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "console/frmUpgradeInstall.h"
#include "packages/cabinet.h"
#include "platform/posix/machine.h"
#include "platform/posix/services.h"
#include "platform/result.h"
#include "unattended/answerFile.h"
#include "unattended/headlessToolkit.h"
#include "unattended/outcome.h"
#include "unattended/reportEcho.h"
#include "unattended/unpacedClock.h"

namespace {

constexpr const char* kUsage =
    "usage: PMSetupUnattended [--no-pacing] ANSWER_FILE\n"
    "  Runs the Pelmora v.1.9.5 upgrade without windows, answering the dialogs\n"
    "  from ANSWER_FILE (key = value lines: agreement, help, full, folder, name,\n"
    "  launch, valid-dates). --no-pacing skips the one-second pause per report line.\n"
    "  Exit codes: 0 completed, 2 agreement declined, 3 a stage reported a failure,\n"
    "  4 ended before the end, 5 another installer is running, 6 the installer's\n"
    "  cabinets are damaged, 64 bad command line or answer file.\n";

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

struct Options {
  bool pacing = true;
  std::string answerFile;
};

pm::Result<Options> parseArguments(const std::vector<std::string>& args, bool& helpAsked) {
  Options options;
  bool fileGiven = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      helpAsked = true;
      return options;
    }
    if (arg == "--no-pacing") {
      options.pacing = false;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return pm::Status::failure("unknown option " + arg);
    } else if (fileGiven) {
      return pm::Status::failure("only one answer file can be given");
    } else {
      options.answerFile = arg;
      fileGiven = true;
    }
  }
  if (!fileGiven) return pm::Status::failure("the answer file is missing");
  return options;
}

int install(const Options& options, const pm::unattended::Answers& answers) {
  namespace u = pm::unattended;
  // stdout carries the report alone: the outside tools that the stages run
  // inherit stdout, so it is pointed at stderr for them and the report keeps a
  // copy of the real one.
  std::cout.flush();
  const int reportFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (reportFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    std::perror("PMSetupUnattended: cannot set up the output");
    return u::kEndedEarly;
  }
  FdBuffer reportBuffer(reportFd);
  std::ostream report(&reportBuffer);

  pm::posix::PosixServices platform(pm::posix::Machine::fromEnvironment(),
                                    pm::posix::executableFolder());
  // Only an intact installer, and one at a time, changes the machine. The check
  // reads the cabinets only, so a damaged installer leaves the machine as it was.
  if (pm::Status intact =
          pm::checkCabinets(platform.fs, platform.processes, platform.installerFolder);
      !intact) {
    std::cerr << "PMSetupUnattended: " << intact.message() << std::endl;
    return u::kDamaged;
  }
  if (pm::Status locked = platform.installLock.acquire(); !locked) {
    std::cerr << "PMSetupUnattended: " << locked.message() << std::endl;
    return pm::anotherInstallerRuns(locked) ? u::kBusy : u::kEndedEarly;
  }
  u::UnpacedClock unpaced(platform.clock);
  pm::Clock& clock = options.pacing ? static_cast<pm::Clock&>(platform.clock) : unpaced;
  u::HeadlessToolkit toolkit(answers, std::cerr);

  pm::Services services{
      platform.fs,  clock,   platform.processes,      platform.registry, platform.dataSources,
      platform.dde, toolkit, platform.installerFolder};
  pm::frmUpgradeInstall window(services);
  u::ReportEcho echo(report);
  window.addObserver(&echo);

  bool ended = false;    // the run did not reach "Complete"
  bool stopped = false;  // ... because of an error that nothing caught
  try {
    toolkit.run(window);
  } catch (const u::HeadlessToolkit::EndedByProgram&) {
    // The program's own end: like the window, it writes nothing more.
    ended = true;
  } catch (const pm::Error& e) {
    std::cerr << "PMSetupUnattended: the install stopped: " << e.description() << " " << e.source()
              << " " << e.number() << std::endl;
    ended = stopped = true;
  } catch (const std::exception& e) {
    std::cerr << "PMSetupUnattended: the install stopped: " << e.what() << std::endl;
    ended = stopped = true;
  }
  if (!ended && !toolkit.completed()) {
    std::cerr << "PMSetupUnattended: the install window could not be completed" << std::endl;
    ended = stopped = true;
  }
  window.removeObserver(&echo);
  // A run that an error stopped half-way still leaves its report for the user.
  if (stopped) window.dumpRpt();

  u::Outcome outcome = u::judge(window.state());
  // The report the user is left with must be the whole report.
  const auto written = platform.fs.readText(window.debugFilePath());
  if (!ended && (!written || written.value() != window.text("txtReport"))) {
    outcome.failures.push_back("the report was not written to " + window.debugFilePath());
    if (outcome.exitCode != u::kEndedEarly) outcome.exitCode = u::kStageFailed;
  }
  for (const std::string& line : outcome.failures) {
    std::cerr << "PMSetupUnattended: failure reported: " << line << std::endl;
  }
  switch (outcome.exitCode) {
    case u::kCompleted:
      std::cerr << "PMSetupUnattended: completed; report in " << window.debugFilePath()
                << std::endl;
      break;
    case u::kDeclined:
      std::cerr << "PMSetupUnattended: the agreement was declined; only the shared libraries were "
                   "installed"
                << std::endl;
      break;
    case u::kStageFailed:
      std::cerr << "PMSetupUnattended: finished, but a stage reported a failure; report in "
                << window.debugFilePath() << std::endl;
      break;
    default:
      std::cerr << "PMSetupUnattended: the install did not reach its end; report in "
                << window.debugFilePath() << std::endl;
      break;
  }
  return ended ? u::kEndedEarly : outcome.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  namespace u = pm::unattended;
  bool helpAsked = false;
  const auto options = parseArguments(std::vector<std::string>(argv + 1, argv + argc), helpAsked);
  if (helpAsked) {
    std::cout << kUsage;
    return 0;
  }
  if (!options) {
    std::cerr << "PMSetupUnattended: " << options.message() << "\n" << kUsage;
    return u::kBadInput;
  }
  // Checked before any service exists: a bad answer file changes nothing.
  const auto answers = u::readAnswerFile(options->answerFile);
  if (!answers) {
    std::cerr << "PMSetupUnattended: " << answers.message() << std::endl;
    return u::kBadInput;
  }
  return install(options.value(), answers.value());
}
