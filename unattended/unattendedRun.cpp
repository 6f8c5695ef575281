#include "unattended/unattendedRun.h"

#include <exception>
#include <iostream>
#include <memory>
#include <sstream>

#include "console/startUp.h"
#include "platform/result.h"
#include "unattended/headlessToolkit.h"
#include "unattended/outcome.h"
#include "unattended/planOutput.h"
#include "unattended/reportEcho.h"
#include "unattended/unpacedClock.h"

namespace pm::unattended {

std::optional<int> prepare(const std::vector<std::string>& args, Options& options,
                           Answers& answers) {
  namespace u = pm::unattended;
  const auto parsed = parseCommandLine(args, options.program);
  if (parsed && parsed->help) {
    std::cout << usage(options.program);
    return 0;
  }
  if (!parsed) {
    std::cerr << "PMSetupUnattended: " << parsed.message() << "\n" << usage(options.program);
    return u::kBadInput;
  }
  // Checked before any service exists: a bad answer file changes nothing.
  auto read = u::readAnswerFile(parsed->answerFile, options.ansi);
  if (!read) {
    std::cerr << "PMSetupUnattended: " << read.message() << std::endl;
    return u::kBadInput;
  }
  options.plan = parsed->plan;
  options.planJson = parsed->planJson;
  // A plan's report says what the install would write, not when.
  options.pacing = parsed->pacing && !parsed->plan;
  options.answerFile = parsed->answerFile;
  answers = read.value();
  return std::nullopt;
}

namespace {

// The run without windows: refusals and notes on stderr, the dialogs answered
// from the answer file, the exit code from the record of the run.
class UnattendedFrontEnd : public FrontEnd {
 public:
  UnattendedFrontEnd(const Options& options, const Answers& answers, std::ostream& report)
      : options_(options), toolkit_(answers, std::cerr), report_(report) {}

  ui::Toolkit& toolkit() override { return toolkit_; }
  Clock& clock(Clock& machineClock) override {
    if (options_.pacing) return machineClock;
    unpaced_ = std::make_unique<UnpacedClock>(machineClock);
    return *unpaced_;
  }
  int refuse(StartRefused why, const Status& message) override {
    refusal_ = message.message();
    std::cerr << "PMSetupUnattended: " << message.message() << std::endl;
    switch (why) {
      case StartRefused::damagedInstaller:
        return kDamaged;
      case StartRefused::anotherInstaller:
        return kBusy;
      case StartRefused::noInstallLock:
        break;
    }
    return kEndedEarly;
  }
  int run(frmUpgradeInstall& window, Services& services) override;

  const std::string& refusal() const { return refusal_; }
  const std::string& reportText() const { return reportText_; }

 private:
  std::string refusal_;
  std::string reportText_;
  const Options& options_;
  HeadlessToolkit toolkit_;
  std::ostream& report_;
  std::unique_ptr<UnpacedClock> unpaced_;
};

int UnattendedFrontEnd::run(frmUpgradeInstall& window, Services& services) {
  namespace u = pm::unattended;
  u::ReportEcho echo(report_);
  window.addObserver(&echo);

  bool ended = false;    // the run did not reach "Complete"
  bool stopped = false;  // ... because of an error that nothing caught
  try {
    toolkit_.run(window);
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
  if (!ended && !toolkit_.completed()) {
    std::cerr << "PMSetupUnattended: the install window could not be completed" << std::endl;
    ended = stopped = true;
  }
  window.removeObserver(&echo);
  reportText_ = window.state().reportText;
  // A run that an error stopped half-way still leaves its report for the user.
  if (stopped) window.dumpRpt();

  u::Outcome outcome = u::judge(window.state());
  // The report the user is left with must be the whole report.
  const auto written = services.fs.readText(window.debugFilePath());
  if (!ended && (!written || written.value() != services.fs.toAnsi(window.text("txtReport")))) {
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

int install(const Options& options, const Answers& answers, pm::Platform& platform,
            std::ostream& report) {
  if (!options.plan) {
    UnattendedFrontEnd frontEnd(options, answers, report);
    return startInstaller(platform, frontEnd);
  }
  PlanPlatform plan(platform);
  if (!plan.ready()) {
    std::cerr << "PMSetupUnattended: " << plan.ready().message() << std::endl;
    return kEndedEarly;
  }
  // As text the report lines come as they are written; in JSON, inside the document.
  std::ostringstream collected;
  UnattendedFrontEnd frontEnd(options, answers, options.planJson ? collected : report);
  const int outcome = startInstaller(plan, frontEnd);
  const PlanRun run{reportLines(frontEnd.reportText()), frontEnd.refusal(), outcome,
                    options.numbers};
  if (options.planJson) {
    writePlanJson(report, plan, run);
  } else {
    writePlanText(report, plan, run);
  }
  report.flush();
  return outcome;
}

}  // namespace pm::unattended
