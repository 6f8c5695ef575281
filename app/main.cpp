// PMSetup: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the platform services of this machine, the Qt
// form toolkit and the install window, and runs the window until it closes.
// PMSetup takes no command-line options but --help. Without a display it says
// to use PMSetupUnattended and ends with EX_UNAVAILABLE (69). A second installer
// on the same machine, or a damaged installer, is refused with a message box
// before anything is changed.
#include <sysexits.h>

#include <QApplication>
#include <cstdio>
#include <optional>
#include <string_view>

#include "console/frmUpgradeInstall.h"
#include "packages/cabinet.h"
#include "platform/posix/machine.h"
#include "platform/posix/services.h"
#include "platform/qt/qtToolkit.h"

namespace {

constexpr const char* kUsage =
    "usage: PMSetup\n"
    "  The upgrade installer for Pelmora v.1.9.5, with its windows. It installs from\n"
    "  the folder it was started from onto the machine folder of $PMSETUP_MACHINE.\n"
    "  To install without windows (no display, scripts): PMSetupUnattended --help.\n"
    "Exit codes: 0 the window closed, 1 a damaged installer or another installer\n"
    "  running (a message box says which), 69 no display.\n";

constexpr const char* kNoDisplay =
    "PMSetup: there is no display to show the installer's windows on (DISPLAY is not\n"
    "set or cannot be reached). Install without windows with\n"
    "  PMSetupUnattended ANSWER_FILE\n"
    "(PMSetupUnattended --help explains the answer file). Nothing was changed.";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  pm::qt::prepareEnvironment();
  std::optional<pm::qt::DisplayRequired> display(std::in_place, kNoDisplay, EX_UNAVAILABLE);
  QApplication app(argc, argv);
  display.reset();
  QApplication::setApplicationName("PMSetup");
  pm::qt::prepareApplication(app);

  pm::posix::PosixServices platform(pm::posix::Machine::fromEnvironment(),
                                    pm::posix::executableFolder());
  pm::qt::QtToolkit toolkit;
  // Only an intact installer, and one at a time, changes the machine. The check
  // reads the cabinets only, so a damaged installer leaves the machine as it was.
  if (pm::Status intact =
          pm::checkCabinets(platform.fs, platform.processes, platform.installerFolder);
      !intact) {
    toolkit.notify(intact.message(), "PMSetup");
    return 1;
  }
  if (pm::Status locked = platform.installLock.acquire(); !locked) {
    toolkit.notify(locked.message(), "PMSetup");
    return 1;
  }

  pm::Services services{platform.fs,       platform.clock,          platform.processes,
                        platform.registry, platform.dataSources,    platform.dde,
                        toolkit,           platform.installerFolder};
  pm::frmUpgradeInstall window(services);
  toolkit.run(window);
  return 0;
}
