#include "console/frmOptions.h"

namespace pm {

namespace {

// Every box that "Full Install" checks.
constexpr const char* kFullInstallBoxes[] = {"chkPLM",           "chkHelp",    "chkDatabase",
                                             "chkDocumentation", "chkSamples", "chkDictionaries",
                                             "chkOtherSamples"};

// The boxes that are shown but that only "Full Install" can check.
constexpr const char* kFixedBoxes[] = {"chkDatabase", "chkDocumentation", "chkSamples",
                                       "chkDictionaries", "chkOtherSamples"};

}  // namespace

frmOptions::frmOptions() : ui::Form("frmOptions") {
  caption = "Install Options";
  width = 5550;
  height = 6555;
  centred = true;
  picture = "dialog.background";

  addFrame("frmeOptions", "Install Options", 240, 480, 4935, 3015);
  const auto box = [&](const char* name, const char* caption, double left, double top,
                       double width) -> ui::Control& {
    auto& c = addCheckBox(name, caption, left, top, width, 255);
    c.parent = "frmeOptions";
    return c;
  };
  box("chkPLM", "Install Pelmora Software", 240, 360, 4215).value = 1;
  box("chkDatabase", "Install Database", 240, 600, 2535);
  box("chkHelp", "Install Help Files", 240, 840, 4215);
  box("chkDocumentation", "Install Full Documentation", 240, 1080, 4095);
  box("chkSamples", "Install Database Samples", 240, 1320, 3615);
  box("chkDictionaries", "Install Occupation Dictionaries", 240, 1560, 4455);
  box("chkOtherSamples", "Install Other Sample Files", 240, 1800, 4455);

  auto& divider = addImage("Image1", "divider", 720, 2160, 3495, 120);
  divider.parent = "frmeOptions";
  divider.stretch = true;

  auto& all = box("chkInstallAll", "Full Install", 240, 2520, 1575);
  all.font.bold = true;

  auto& accept = addButton("cmdAccept", "Continue", 3600, 2400, 1095, 375);
  accept.parent = "frmeOptions";
}

void frmOptions::onLoad() {
  for (const char* name : kFixedBoxes) setEnabled(name, false);
  applyFullInstall();
}

// Checking "Full Install" checks every box, whether the user can reach it or not;
// unchecking it again leaves them checked.
void frmOptions::applyFullInstall() {
  if (value("chkInstallAll") == 0) return;
  for (const char* name : kFullInstallBoxes) setValue(name, 1);
}

void frmOptions::onClick(const std::string& control) {
  if (control == "chkInstallAll") {
    applyFullInstall();
  } else if (control == "cmdAccept") {
    optHelp = value("chkHelp") != 0;
    optSamples = value("chkSamples") != 0;
    unload();
  }
}

}  // namespace pm
