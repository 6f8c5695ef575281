#include "console/frmSplash.h"

namespace pm {

frmSplash::frmSplash(Clock& clock) : ui::Form("frmSplash"), clock_(clock) {
  caption = "";
  titleBar = false;
  width = 4815;
  height = 6345;
  centred = true;
  backColor = 0x00C6BBB7;
  picture = "splash.background";

  addTimer("Timer1");

  auto& notice = addLabel("Label1",
                          "Pelmora v.1.9.5\r\nCopyright (C) Korrimel Software. "
                          "All rights reserved.",
                          0, 5640, 4815, 615);
  notice.foreColor = ui::kWhite;
  notice.backColor = 0x00805A3C;
  notice.alignment = ui::Alignment::Center;
  notice.font = {"Arial", 9, false};

  auto& logo = addImage("Image1", "splash.logo", 360, 120, 4245, 900);
  logo.stretch = true;
}

void frmSplash::onLoad() {
  startTime.reset();
  setTimerInterval("Timer1", 100);
  setEnabled("Timer1", true);
}

void frmSplash::onTimer(const std::string& timer) {
  if (timer != "Timer1") return;
  setEnabled("Timer1", false);
  if (!startTime) {
    startTime = clock_.now();
    setEnabled("Timer1", true);
    return;
  }
  if (secondBoundariesBetween(*startTime, clock_.now()) > kShownSeconds) {
    unload();
  } else {
    setEnabled("Timer1", true);
  }
}

// Only the window's own surface answers a click: the logo and the notice do not.
void frmSplash::onClick(const std::string& control) {
  if (control.empty()) unload();
}

void frmSplash::onKeyPress(int) {
  unload();
}

}  // namespace pm
