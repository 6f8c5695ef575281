// The shared layer between the stages and the install window. What an install stage sees of the
// install window frmUpgradeInstall: the install state that the stages share, the platform services,
// and the window's report log, command runner and controls. The stages (libraryCheck, dirCheck,
// dbCheck, regCheck, installCheck, installHelp) are operations on an InstallWindow; the real window
// implements it, and tests drive the stages through a fake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "install/RegistryHelper.h"
#include "platform/services.h"
#include "platform/ui.h"

namespace pm {

// The machine's services and the toolkit that shows the forms, put together
// once by the start-up (console/startUp.h):
//   Services services{{fs, clock, processes, registryStore, dataSources, dde,
//                      installerFolder}, toolkit};
struct Services : MachineServices {
  ui::Toolkit& toolkit;
};

// One failure of a run, recorded where its report line is written: the stage
// (or dialog) that failed and the report line that says what failed. The front
// ends judge a run by these records, never by the report's wording.
struct Failure {
  std::string stage;  // "libraryCheck", "dbCheck", ... or "install" for the run as a whole
  std::string what;   // the report line (or message) that names the failure
};

// The fields of the install window that the stages share.
struct InstallState {
  std::string reportText;  // every report line, each followed by CR LF
  std::string appFolder;   // the application folder, no trailing separator
  std::string tempFolder;  // installer folder + "\PMUpTemp", absolute
  // Where "PMInstall.dbg" goes when the temporary folder cannot be the
  // installer folder's (a private folder of its own); empty: the installer folder.
  std::string reportFolder;
  // Held while the installer folder's PMUpTemp is this run's, so that a run on
  // another computer sharing the folder keeps out of it.
  std::unique_ptr<FileLock> tempFolderLock;
  std::int16_t stepCount = 0;
  std::unique_ptr<RegistryHelper> registry;  // created on first use
  // Set by the agreement dialog when the user presses "I Agree"; cleared when the
  // window loads and before the agreement is shown.
  bool eulaAccepted = false;
  // How many callers have asked for the hourglass and not yet released it.
  std::int16_t busyDepth = 0;
  // Every failure of this run, in the order it was reported.
  std::vector<Failure> failures;
  // The sequence ran to its last line ("Install Complete.").
  bool finished = false;

  // The window's one RegistryHelper, created on first use.
  RegistryHelper& registryObject(RegistryStore& store) {
    if (!registry) registry = std::make_unique<RegistryHelper>(store);
    return *registry;
  }
};

class InstallWindow {
 public:
  virtual ~InstallWindow() = default;

  virtual InstallState& state() = 0;
  virtual Services& services() = 0;

  // The report log. rept appends a line (and CR LF), shows it, advances the bar
  // and pauses (delayx < 1: the default pause of 5 tenths). Returns the report.
  virtual std::string rept(const std::string& inval, std::int16_t delayx = 0) = 0;
  virtual void pbar(std::int16_t n) = 0;
  // Waits until more than round-half-even(tenths / 10) second boundaries have passed.
  virtual void pause(std::int16_t tenths) = 0;
  // Writes the report box's text to "PMInstall.dbg" in the installer folder
  // (or the state's reportFolder).
  virtual void dumpRpt() = 0;

  // Runs a command line, waits for it, handles pending events once; the exit
  // code, or -1 when the program could not be started.
  virtual std::int32_t ExecCmd(const std::string& cmdline) = 0;
  // One pass over pending window events (DoEvents).
  virtual void doEvents() = 0;

  // lblCurrent: the current-activity label.
  virtual void showCurrent(const std::string& caption) = 0;  // set caption and show
  virtual void hideCurrent() = 0;

  // chkLibraryDate ("Valid Dates") is checked (value 1).
  virtual bool libraryDateOption() = 0;

  // lblDDE's link properties, the program-group stage's DDE client.
  virtual DdeLink& lblDDE() = 0;

  // Shows a fresh frmRegName modally, owned by this window, with regName preset
  // to `preset` when it is not empty; returns its regName after it has closed.
  virtual std::string askRegName(const std::string& preset) = 0;
  // Shows a fresh frmInstallDirectory modally, owned by this window; returns its
  // installDir after it has closed.
  virtual std::string askInstallDirectory() = 0;

  // Reports a line that says a stage failed, and records the failure.
  void reportFailure(const std::string& stage, const std::string& line, std::int16_t delayx = 0) {
    state().failures.push_back({stage, line});
    rept(line, delayx);
  }

  // Convenience: the window's RegistryHelper, created on first use.
  RegistryHelper& registry() { return state().registryObject(services().registryStore); }
};

}  // namespace pm
