#include "unattended/unattendedRun.h"

#include <exception>
#include <iostream>

#include "console/frmUpgradeInstall.h"
#include "packages/cabinet.h"
#include "platform/result.h"
#include "unattended/headlessToolkit.h"
#include "unattended/outcome.h"
#include "unattended/reportEcho.h"
#include "unattended/unpacedClock.h"

namespace pm::unattended {

namespace {

constexpr const char* kUsage =
    "usage: PMSetupUnattended [--no-pacing] ANSWER_FILE\n"
    "  Runs the Pelmora v.1.9.5 upgrade without windows, answering the dialogs\n"
    "  from ANSWER_FILE (key = value lines: agreement, help, full, folder, name,\n"
    "  launch, valid-dates). --no-pacing skips the one-second pause per report line.\n"
    "  Exit codes: 0 completed, 2 agreement declined, 3 a stage reported a failure,\n"
    "  4 ended before the end, 5 another installer is running, 6 the installer's\n"
    "  cabinets are damaged, 64 bad command line or answer file.\n";

Result<Options> parseArguments(const std::vector<std::string>& args, bool& helpAsked) {
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
      return Status::failure("unknown option " + arg);
    } else if (fileGiven) {
      return Status::failure("only one answer file can be given");
    } else {
      options.answerFile = arg;
      fileGiven = true;
    }
  }
  if (!fileGiven) return Status::failure("the answer file is missing");
  return options;
}

}  // namespace

std::optional<int> prepare(const std::vector<std::string>& args, Options& options,
                           Answers& answers) {
  namespace u = pm::unattended;
  bool helpAsked = false;
  const auto parsed = parseArguments(args, helpAsked);
  if (helpAsked) {
    std::cout << kUsage;
    return 0;
  }
  if (!parsed) {
    std::cerr << "PMSetupUnattended: " << parsed.message() << "\n" << kUsage;
    return u::kBadInput;
  }
  // Checked before any service exists: a bad answer file changes nothing.
  auto read = u::readAnswerFile(parsed->answerFile);
  if (!read) {
    std::cerr << "PMSetupUnattended: " << read.message() << std::endl;
    return u::kBadInput;
  }
  options = parsed.value();
  answers = read.value();
  return std::nullopt;
}

int install(const Options& options, const Answers& answers, Platform& platform,
            std::ostream& report) {
  namespace u = pm::unattended;
  // Only an intact installer, and one at a time, changes the machine. The check
  // reads the cabinets only, so a damaged installer leaves the machine as it was.
  if (Status intact = checkCabinets(platform.fs, platform.processes, platform.installerFolder);
      !intact) {
    std::cerr << "PMSetupUnattended: " << intact.message() << std::endl;
    return u::kDamaged;
  }
  if (Status locked = platform.installLock.acquire(); !locked) {
    std::cerr << "PMSetupUnattended: " << locked.message() << std::endl;
    return anotherInstallerRuns(locked) ? u::kBusy : u::kEndedEarly;
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
  if (!ended && (!written || written.value() != platform.fs.toAnsi(window.text("txtReport")))) {
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

}  // namespace pm::unattended
