// PMSetup for Windows: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the Win32 services of this machine (the real
// registry, system folder, Program Manager and ODBC data sources), the Win32
// form toolkit and the install window, and runs the window until it closes.
// A second installer on the machine, or a damaged installer, is refused with a
// message box before anything is changed (console/startUp.h).
//
// For deployment tools it takes the switches of unattended/commandLine.h:
// /? shows the usage in a message box; /quiet /answers=FILE runs the same
// install as PMSetupUnattended, without any window; /plan /answers=FILE shows
// what that install would do and changes nothing; /log=FILE logs the run.
// The exit code is the Windows Installer's (unattended/exitCodes.h), with the
// window closed before the end counting as cancelled.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "console/startUp.h"
#include "platform/text.h"
#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "platform/win32ui/win32Toolkit.h"
#include "unattended/exitCodes.h"
#include "unattended/outcome.h"
#include "unattended/reportEcho.h"
#include "unattended/runLog.h"
#include "unattended/textWriter.h"
#include "unattended/win32/quietRun.h"

namespace {

namespace u = pm::unattended;

bool asksQuiet(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    for (const char* quiet : {"/quiet", "/s", "/verysilent", "/plan"}) {
      if (pm::equalsIgnoreCase(arg, quiet)) return true;
    }
  }
  return false;
}

void showMessage(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, pm::win32::widen(text).c_str(), L"PMSetup", MB_OK | icon);
}

constexpr auto kNumbers = u::ExitNumbers::WindowsInstaller;

// The window's front end: its pauses keep its windows drawn, a refusal is told
// in a message box and logged, and the exit code is the Windows Installer's.
class LoggedFrontEnd : public pm::WindowFrontEnd {
 public:
  LoggedFrontEnd(pm::win32ui::Win32Toolkit& toolkit, u::RunLog& log)
      : WindowFrontEnd(toolkit), toolkit_(toolkit), log_(log) {}
  pm::Clock& clock(pm::Clock& machineClock) override {
    clock_ = std::make_unique<pm::win32ui::RepaintingClock>(machineClock, toolkit_);
    return *clock_;
  }
  int refuse(pm::StartRefused why, const pm::Status& message) override {
    log_.notes() << "PMSetup: " << message.message() << "\n";
    WindowFrontEnd::refuse(why, message);
    const int code = why == pm::StartRefused::damagedInstaller   ? u::kDamaged
                     : why == pm::StartRefused::anotherInstaller ? u::kBusy
                                                                 : u::kEndedEarly;
    return log_.finish(code, kNumbers);
  }
  int run(pm::frmUpgradeInstall& window, pm::Services&) override {
    u::FileOut nowhere(nullptr);
    u::ReportEcho echo(log_.tee(nowhere));
    window.addObserver(&echo);
    toolkit_.run(window);
    window.removeObserver(&echo);
    return log_.finish(u::windowExitCode(window.state()), kNumbers);
  }

 private:
  pm::win32ui::Win32Toolkit& toolkit_;
  u::RunLog& log_;
  std::unique_ptr<pm::win32ui::RepaintingClock> clock_;
};

}  // namespace

int main() {
  // No library is taken from the installer folder (often a downloads folder).
  pm::win32::restrictDllSearch();
  const auto args = u::win32::commandArguments();
  const auto line = u::parseCommandLine(args, u::Program::Window);
  if (line && line->help) {
    showMessage(u::usage(u::Program::Window), MB_ICONINFORMATION);
    return 0;
  }
  // A silent run never waits for a click, not even on a wrong switch.
  if ((line && line->quiet) || (!line && asksQuiet(args))) {
    return u::win32::runWithoutWindows(args, u::Program::Window);
  }
  u::FileOut err(stderr);
  u::RunLog log(args, err);
  if (!line) {
    log.notes() << "PMSetup: " << line.message() << "\n";
    showMessage(line.message() + "\n\n" + u::usage(u::Program::Window), MB_ICONERROR);
    return log.finish(u::kBadInput, kNumbers);
  }

  const auto platform = pm::makePlatform();
  pm::win32ui::Win32Toolkit toolkit;
  LoggedFrontEnd frontEnd(toolkit, log);
  return pm::startInstaller(*platform, frontEnd);
}
