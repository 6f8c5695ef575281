#include "console/startUp.h"

#include "packages/cabinet.h"

namespace pm {

int startInstaller(Platform& platform, FrontEnd& frontEnd) {
  const MachineServices machine = platform.services();
  // Only an intact installer, and one at a time, changes the machine. The check
  // reads the cabinets only, so a damaged installer leaves the machine as it was.
  if (Status intact = checkCabinets(machine.fs, machine.processes, machine.installerFolder);
      !intact) {
    return frontEnd.refuse(StartRefused::damagedInstaller, intact);
  }
  if (Status locked = platform.installLock().acquire(); !locked) {
    return frontEnd.refuse(
        anotherInstallerRuns(locked) ? StartRefused::anotherInstaller : StartRefused::noInstallLock,
        locked);
  }
  Services services{
      {machine.fs, frontEnd.clock(machine.clock), machine.processes, machine.registryStore,
       machine.dataSources, machine.dde, machine.installerFolder},
      frontEnd.toolkit()};
  frmUpgradeInstall window(services);
  return frontEnd.run(window, services);
}

int WindowFrontEnd::refuse(StartRefused, const Status& message) {
  toolkit_.notify(message.message(), "PMSetup");
  return 1;
}

int WindowFrontEnd::run(frmUpgradeInstall& window, Services&) {
  toolkit_.run(window);
  return 0;
}

}  // namespace pm
