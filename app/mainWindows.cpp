// PMSetup for Windows: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the Win32 services of this machine (the real
// registry, system folder, Program Manager and ODBC data sources), the Win32
// form toolkit and the install window, and runs the window until it closes.
// A second installer on the machine, or a damaged installer, is refused with a
// message box before anything is changed.
//
// For deployment tools it takes the switches of unattended/commandLine.h:
// /? shows the usage in a message box; /quiet /answers=FILE runs the same
// install as PMSetupUnattended, without any window; /log=FILE logs the run.
// The exit code is the Windows Installer's (unattended/exitCodes.h), with the
// window closed before the end counting as cancelled.
#include <windows.h>

#include <iostream>
#include <ostream>

#include "console/frmUpgradeInstall.h"
#include "packages/cabinet.h"
#include "platform/text.h"
#include "platform/win32/services.h"
#include "platform/win32/wideText.h"
#include "platform/win32ui/win32Toolkit.h"
#include "unattended/exitCodes.h"
#include "unattended/outcome.h"
#include "unattended/reportEcho.h"
#include "unattended/runLog.h"
#include "unattended/win32/quietRun.h"

namespace {

namespace u = pm::unattended;

bool asksQuiet(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    for (const char* quiet : {"/quiet", "/s", "/verysilent"}) {
      if (pm::equalsIgnoreCase(arg, quiet)) return true;
    }
  }
  return false;
}

void showMessage(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, pm::win32::widen(text).c_str(), L"PMSetup", MB_OK | icon);
}

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
  u::RunLog log(args);
  constexpr auto kNumbers = u::ExitNumbers::WindowsInstaller;
  if (!line) {
    std::cerr << "PMSetup: " << line.message() << std::endl;
    showMessage(line.message() + "\n\n" + u::usage(u::Program::Window), MB_ICONERROR);
    return log.finish(u::kBadInput, kNumbers);
  }

  pm::win32::Win32Services platform;
  pm::win32ui::Win32Toolkit toolkit;
  // Only an intact installer, and one at a time, changes the machine. The check
  // reads the cabinets only, so a damaged installer leaves the machine as it was.
  if (pm::Status intact =
          pm::checkCabinets(platform.fs, platform.processes, platform.installerFolder);
      !intact) {
    std::cerr << "PMSetup: " << intact.message() << std::endl;
    toolkit.notify(intact.message(), "PMSetup");
    return log.finish(u::kDamaged, kNumbers);
  }
  if (pm::Status locked = platform.installLock.acquire(); !locked) {
    std::cerr << "PMSetup: " << locked.message() << std::endl;
    toolkit.notify(locked.message(), "PMSetup");
    return log.finish(pm::anotherInstallerRuns(locked) ? u::kBusy : u::kEndedEarly, kNumbers);
  }
  // The installer's pauses keep its windows drawn.
  pm::win32ui::RepaintingClock clock(platform.clock, toolkit);

  pm::Services services{
      platform.fs,  clock,   platform.processes,      platform.registry, platform.dataSources,
      platform.dde, toolkit, platform.installerFolder};
  pm::frmUpgradeInstall window(services);
  std::ostream nowhere(nullptr);
  u::ReportEcho echo(log.tee(nowhere));
  window.addObserver(&echo);
  toolkit.run(window);
  window.removeObserver(&echo);
  return log.finish(u::windowExitCode(window.state()), kNumbers);
}
