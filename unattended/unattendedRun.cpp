#include "unattended/unattendedRun.h"

#include <exception>
#include <memory>

#include "console/startUp.h"
#include "platform/result.h"
#include "unattended/headlessToolkit.h"
#include "unattended/outcome.h"
#include "unattended/planOutput.h"
#include "unattended/reportEcho.h"
#include "unattended/unpacedClock.h"

namespace pm::unattended {

std::optional<int> prepare(const std::vector<std::string>& args, Options& options, Answers& answers,
                           TextWriter& out, TextWriter& notes) {
  namespace u = pm::unattended;
  const auto parsed = parseCommandLine(args, options.program);
  if (parsed && parsed->help) {
    out << usage(options.program);
    return 0;
  }
  if (!parsed) {
    notes << "PMSetupUnattended: " << parsed.message() << "\n" << usage(options.program);
    return u::kBadInput;
  }
  // Checked before any service exists: a bad answer file changes nothing.
  auto read = u::readAnswerFile(parsed->answerFile, options.ansi);
  if (!read) {
    notes << "PMSetupUnattended: " << read.message() << "\n";
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
  UnattendedFrontEnd(const Options& options, const Answers& answers, TextWriter& report,
                     TextWriter& notes)
      : options_(options), toolkit_(answers, notes), report_(report), notes_(notes) {}

  ui::Toolkit& toolkit() override { return toolkit_; }
  Clock& clock(Clock& machineClock) override {
    if (options_.pacing) return machineClock;
    unpaced_ = std::make_unique<UnpacedClock>(machineClock);
    return *unpaced_;
  }
  int refuse(StartRefused why, const Status& message) override {
    refusal_ = message.message();
    notes_ << "PMSetupUnattended: " << message.message() << "\n";
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
  const Options& options_;
  HeadlessToolkit toolkit_;
  std::string refusal_;
  std::string reportText_;
  TextWriter& report_;
  TextWriter& notes_;
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
    notes_ << "PMSetupUnattended: the install stopped: " << e.description() << " " << e.source()
           << " " << e.number() << "\n";
    ended = stopped = true;
  } catch (const std::exception& e) {
    notes_ << "PMSetupUnattended: the install stopped: " << e.what() << "\n";
    ended = stopped = true;
  }
  if (!ended && !toolkit_.completed()) {
    notes_ << "PMSetupUnattended: the install window could not be completed"
           << "\n";
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
    notes_ << "PMSetupUnattended: failure reported: " << line << "\n";
  }
  switch (outcome.exitCode) {
    case u::kCompleted:
      notes_ << "PMSetupUnattended: completed; report in " << window.debugFilePath() << "\n";
      break;
    case u::kDeclined:
      notes_ << "PMSetupUnattended: the agreement was declined; only the shared libraries were "
                "installed"
             << "\n";
      break;
    case u::kStageFailed:
      notes_ << "PMSetupUnattended: finished, but a stage reported a failure; report in "
             << window.debugFilePath() << "\n";
      break;
    default:
      notes_ << "PMSetupUnattended: the install did not reach its end; report in "
             << window.debugFilePath() << "\n";
      break;
  }
  return ended ? u::kEndedEarly : outcome.exitCode;
}

}  // namespace

int install(const Options& options, const Answers& answers, pm::Platform& platform,
            TextWriter& report, TextWriter& notes) {
  if (!options.plan) {
    UnattendedFrontEnd frontEnd(options, answers, report, notes);
    return startInstaller(platform, frontEnd);
  }
  PlanPlatform plan(platform);
  if (!plan.ready()) {
    notes << "PMSetupUnattended: " << plan.ready().message() << "\n";
    return kEndedEarly;
  }
  // As text the report lines come as they are written; in JSON, inside the document.
  StringOut collected;
  UnattendedFrontEnd frontEnd(options, answers, options.planJson ? collected : report, notes);
  const int outcome = startInstaller(plan, frontEnd);
  const PlanRun run{reportLines(frontEnd.reportText()), frontEnd.refusal(), outcome,
                    options.numbers};
  if (options.planJson) {
    writePlanJson(report, plan, run);
  } else {
    writePlanText(report, plan, run);
  }
  return outcome;
}

}  // namespace pm::unattended
