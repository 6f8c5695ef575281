// PMSetup for Windows: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the Win32 services of this machine (the real
// registry, system folder, Program Manager and ODBC data sources), the Win32
// form toolkit and the install window, and runs the window until it closes.
// PMSetup takes no command-line options but --help (or /?), which shows its
// usage in a message box. A second installer on the machine, or a damaged
// installer, is refused with a message box before anything is changed.
#include <windows.h>

#include <string_view>

#include "console/frmUpgradeInstall.h"
#include "packages/cabinet.h"
#include "platform/win32/services.h"
#include "platform/win32ui/win32Toolkit.h"

int main(int argc, char** argv) {
  // No library is taken from the installer folder (often a downloads folder).
  pm::win32::restrictDllSearch();
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      pm::win32ui::Win32Toolkit toolkit;
      toolkit.notify(
          "usage: PMSetup.exe\n\nThe upgrade installer for Pelmora v.1.9.5, with its windows. "
          "To install without windows: PMSetupUnattended.exe ANSWER_FILE "
          "(PMSetupUnattended.exe --help explains the answer file).",
          "PMSetup");
      return 0;
    }
  }
  pm::win32::Win32Services platform;
  pm::win32ui::Win32Toolkit toolkit;
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
  // The installer's pauses keep its windows drawn.
  pm::win32ui::RepaintingClock clock(platform.clock, toolkit);

  pm::Services services{
      platform.fs,  clock,   platform.processes,      platform.registry, platform.dataSources,
      platform.dde, toolkit, platform.installerFolder};
  pm::frmUpgradeInstall window(services);
  toolkit.run(window);
  return 0;
}
