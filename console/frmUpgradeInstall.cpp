#include "console/frmUpgradeInstall.h"

#include <cmath>
#include <limits>

#include "console/frmInstallDirectory.h"
#include "console/frmRegName.h"
#include "console/frmSplash.h"
#include "install/modShell.h"

namespace pm {

namespace {

constexpr ui::Color kWindowColour = 0x00C6BBB7;
constexpr const char* kTitle = "PMSetup";

ui::Font arial(double size, bool bold) {
  return ui::Font{"Arial", size, bold};
}

void graphicalButton(ui::Control& c) {
  c.backColor = kWindowColour;
  c.font = arial(9.75, true);
}

}  // namespace

frmUpgradeInstall::frmUpgradeInstall(Services& services)
    : ui::Form("frmUpgradeInstall"), services_(services), ddeLink_(services.dde) {
  caption = "Upgrade Install";
  left = 4470;
  top = 1965;
  width = 9120;
  height = 8235;
  backColor = kWindowColour;
  picture = "install.background";

  auto& frame = addFrame("frmeLong", "Long Install", 6960, 120, 1935, 615);
  frame.visible = false;
  frame.backColor = kWindowColour;

  auto& validDates = addCheckBox("chkLibraryDate", "Valid Dates", 120, 240, 1215, 255);
  validDates.parent = "frmeLong";
  validDates.backColor = kWindowColour;

  auto& cancel = addButton("cmdCancelInstall", "Cancel", 7560, 7560, 1335, 495);
  graphicalButton(cancel);
  cancel.toolTip = "Cancel Install and Exit";

  auto& launch = addCheckBox("chkLaunch", "Launch Pelmora", 6720, 6480, 2295, 375);
  launch.font = arial(9.75, true);
  launch.backColor = kWindowColour;
  launch.toolTip = "Select to Launch Pelmora when install is complete.";
  launch.enabled = false;

  auto& close = addButton("cmdClose", "Complete", 7560, 6960, 1335, 495);
  graphicalButton(close);
  close.toolTip = "Complete, Exit and Launch";
  close.enabled = false;

  addTextBox("txtCurrent", "", 120, 3360, 8655, 375).font = arial(9.75, false);

  graphicalButton(addButton("cmdInstall", "Install", 7800, 2280, 1095, 495));

  auto& report = addTextBox("txtReport", "", 120, 3960, 5535, 4005, true);
  report.verticalScroll = true;
  report.font = arial(9.75, false);

  auto& current = addLabel("lblCurrent", "Help Files", 6000, 4800, 2775, 375);
  current.foreColor = ui::kWhite;
  current.transparent = true;
  current.alignment = ui::Alignment::Center;
  current.font = arial(12, true);
  current.visible = false;

  addLabel("lblDDE", "This label is used for DDE connection to the Program Manager", 600, 480, 4485,
           255)
      .visible = false;

  auto& bar = addShape("shpProgress", 120, 2880, 15, 255);
  bar.filled = true;
  bar.fillColor = 0x00B06F42;
  bar.borderColor = 0x00B06F42;

  addImage("Image1", "install.icon", 0, 0, 480, 480);

  auto& title = addLabel("Label1", "Pelmora v.1.9.5 Install Program", 600, 120, 3615, 255);
  title.font = ui::Font{"MS Sans Serif", 9.75, true};
  title.backColor = kWindowColour;

  auto& track = addShape("shpBack", 120, 2880, kTrackWidth, 255);
  track.borderColor = 0x00404040;
}

// ---- The report log.

std::string frmUpgradeInstall::rept(const std::string& inval, std::int16_t delayx) {
  setText("txtCurrent", inval);
  state_.reportText += inval;
  state_.reportText += "\r\n";
  setText("txtReport", state_.reportText);
  // The counter is never wrapped round into negative widths.
  if (state_.stepCount < std::numeric_limits<std::int16_t>::max()) ++state_.stepCount;
  pbar(state_.stepCount);
  std::string report = state_.reportText;
  pause(delayx < 1 ? 5 : delayx);
  return report;
}

void frmUpgradeInstall::pbar(std::int16_t n) {
  const double percentage = n / 90.0 * 100.0;
  const float barWidth = static_cast<float>(percentage * 87.75);
  setWidth("shpProgress", barWidth);
}

void frmUpgradeInstall::pause(std::int16_t tenths) {
  const DateTime start = services_.clock.now();
  // Round half to even, as the integer conversion of the original does.
  const auto limit = static_cast<std::int64_t>(std::nearbyint(tenths / 10.0));
  const DateTime until{start.seconds + limit + 1};
  while (secondBoundariesBetween(start, services_.clock.now()) <= limit) {
    services_.clock.sleepUntil(until);
  }
}

std::string frmUpgradeInstall::debugFilePath() const {
  const std::string& folder =
      state_.reportFolder.empty() ? services_.installerFolder : state_.reportFolder;
  return folder + "\\PMInstall.dbg";
}

Status frmUpgradeInstall::writeDebugFile() {
  return writeAnsiText(services_.fs, debugFilePath(), text("txtReport"));
}

// The database stage writes the report here when it fails; the report stays on
// screen and is written again on "Complete", where a failure is shown.
void frmUpgradeInstall::dumpRpt() {
  (void)writeDebugFile();
}

// ---- Commands, the current-activity label, options.

std::int32_t frmUpgradeInstall::ExecCmd(const std::string& cmdline) {
  return pm::ExecCmd(cmdline, services_.processes, services_.toolkit);
}

void frmUpgradeInstall::doEvents() {
  services_.toolkit.doEvents();
}

void frmUpgradeInstall::showCurrent(const std::string& caption) {
  setText("lblCurrent", caption);
  setVisible("lblCurrent", true);
}

void frmUpgradeInstall::hideCurrent() {
  setVisible("lblCurrent", false);
}

bool frmUpgradeInstall::libraryDateOption() {
  return value("chkLibraryDate") == 1;
}

DdeLink& frmUpgradeInstall::lblDDE() {
  return ddeLink_;
}

// ---- The dialogs that the stages open.

std::string frmUpgradeInstall::askRegName(const std::string& preset) {
  frmRegName dialog;
  if (!preset.empty()) dialog.regName = preset;
  services_.toolkit.showModal(dialog, this);
  return dialog.regName;
}

std::string frmUpgradeInstall::askInstallDirectory() {
  frmInstallDirectory dialog;
  services_.toolkit.showModal(dialog, this);
  return dialog.installDir;
}

// ---- Events.

void frmUpgradeInstall::onLoad() {
  state_.eulaAccepted = false;
  frmSplash splash(services_.clock);
  services_.toolkit.showModal(splash, this);
}

void frmUpgradeInstall::onClick(const std::string& control) {
  if (control == "cmdInstall") {
    // A press queued while the sequence lets events through must not start it again.
    if (installing_) return;
    installing_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{installing_};
    cmdInstall_Click();
  } else if (control == "cmdCancelInstall") {
    cmdCancelInstall_Click();
  } else if (control == "cmdClose") {
    cmdClose_Click();
  }
}

void frmUpgradeInstall::onMouseDown(const std::string& control, ui::MouseButton button) {
  if (control == "Image1" && button == ui::MouseButton::Left) setVisible("frmeLong", true);
}

// The close box asks the same question as "Cancel": the window is never taken
// down half-way through a stage without the user saying so.
bool frmUpgradeInstall::onQueryClose() {
  cmdCancelInstall_Click();
  return false;
}

void frmUpgradeInstall::cmdCancelInstall_Click() {
  if (services_.toolkit.askYesNo("Are you sure you want to cancel this install?", kTitle) ==
      ui::MsgBoxResult::Yes) {
    services_.toolkit.endProgram();
  }
}

void frmUpgradeInstall::cmdClose_Click() {
  if (Status written = writeDebugFile(); !written) {
    services_.toolkit.notify(
        "The install report could not be written to " + debugFilePath() + ".\n" + written.message(),
        kTitle);
  }
  if (value("chkLaunch") == 1) {
    const std::string program = state_.appFolder + "\\Pelmora.exe";
    // Quoted, so that a folder such as "C:\Program Files\Pelmora" stays one argument.
    if (Status started = services_.processes.start("\"" + program + "\""); !started) {
      services_.toolkit.notify(
          "Pelmora could not be started from " + program + ".\n" + started.message(), kTitle);
    }
  }
  unload();
}

}  // namespace pm
