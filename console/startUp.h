// How every program of the installer starts: one path, whatever shows the
// install. The front end (the window, the unattended run) says how the install
// is shown, how a refusal is told and what the program's exit code is; the
// start-up does the rest, in this order:
//
//   1. the installer's own check: every cabinet present is read through
//      (`Cabarc T`) and a damaged one refuses the start; nothing has changed;
//   2. the machine's install lock: a second installer is refused, nothing changed;
//   3. the install window on the machine's services and the front end's
//      toolkit and clock, run by the front end.
#pragma once

#include "console/frmUpgradeInstall.h"
#include "install/installWindow.h"
#include "platform/services.h"

namespace pm {

// Why the installer did not start.
enum class StartRefused {
  damagedInstaller,  // a cabinet beside the installer is damaged or incomplete
  anotherInstaller,  // another installer holds the machine's install lock
  noInstallLock,     // the install lock cannot be had at all
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // The toolkit that shows (or answers) the forms.
  virtual ui::Toolkit& toolkit() = 0;
  // The clock the install paces itself with: the machine's, or one on top of it.
  virtual Clock& clock(Clock& machineClock) { return machineClock; }
  // Tells the user why the installer does not start (`message` says it in
  // words); the program's exit code.
  virtual int refuse(StartRefused why, const Status& message) = 0;
  // Runs the install window until it closes; the program's exit code.
  virtual int run(frmUpgradeInstall& window, Services& services) = 0;
};

// Starts the installer on the platform's services through `frontEnd`; the
// program's exit code.
int startInstaller(Platform& platform, FrontEnd& frontEnd);

// The windowed front end: a refusal in a message box (exit code 1), the install
// window run until it closes (exit code 0).
class WindowFrontEnd : public FrontEnd {
 public:
  explicit WindowFrontEnd(ui::Toolkit& toolkit) : toolkit_(toolkit) {}
  ui::Toolkit& toolkit() override { return toolkit_; }
  int refuse(StartRefused why, const Status& message) override;
  int run(frmUpgradeInstall& window, Services& services) override;

 private:
  ui::Toolkit& toolkit_;
};

}  // namespace pm
