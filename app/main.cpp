// PMSetup: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the platform services of this machine, the Qt
// form toolkit and the install window, and runs the window until it closes.
// PMSetup takes no command-line options. A second installer on the same
// machine, or a damaged installer, is refused with a message box before
// anything is changed.
#include <QApplication>

#include "console/frmUpgradeInstall.h"
#include "packages/cabinet.h"
#include "platform/posix/machine.h"
#include "platform/posix/services.h"
#include "platform/qt/qtToolkit.h"

int main(int argc, char** argv) {
  pm::qt::prepareEnvironment();
  QApplication app(argc, argv);
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
