#include "console/frmInstallDirectory.h"

namespace pm {

frmInstallDirectory::frmInstallDirectory() : ui::Form("frmInstallDirectory") {
  caption = "Install Directory";
  width = 4680;
  height = 2355;
  centred = true;
  picture = "dialog.background";

  auto& prompt =
      addLabel("Label1", "Please enter your Install Directory or click submit to accept default.",
               240, 120, 4215, 615);
  prompt.foreColor = ui::kWhite;
  prompt.transparent = true;
  prompt.alignment = ui::Alignment::Center;
  prompt.font.bold = true;

  addTextBox("txtInstallDir", "", 120, 840, 4455, 390).font.size = 12;

  addButton("cmdSubmit", "Submit", 1680, 1560, 1095, 495).toolTip =
      "Click to submit Install Directory";
}

void frmInstallDirectory::onLoad() {
  setText("txtInstallDir", kDefaultFolder);
}

void frmInstallDirectory::onClick(const std::string& control) {
  if (control != "cmdSubmit") return;
  installDir = text("txtInstallDir");
  unload();
}

}  // namespace pm
