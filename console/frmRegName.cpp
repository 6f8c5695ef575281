#include "console/frmRegName.h"

namespace pm {

frmRegName::frmRegName() : ui::Form("frmRegName") {
  caption = "Registration Name";
  width = 4680;
  height = 2190;
  centred = true;
  picture = "dialog.background";

  auto& prompt = addLabel("lblRegName", "Enter your Registration Name:", 1200, 120, 2175, 495);
  prompt.foreColor = ui::kWhite;
  prompt.transparent = true;
  prompt.alignment = ui::Alignment::Center;
  prompt.font.bold = true;

  auto& name = addTextBox("txtRegName", "", 120, 600, 4455, 390);
  name.font.size = 12;

  addButton("cmdSubmit", "Submit", 1680, 1320, 1095, 495).toolTip =
      "Click to submit Registration Name";

  // The name box takes the focus first.
  name.tabIndex = 0;
  prompt.tabIndex = 1;
}

void frmRegName::onLoad() {
  setText("txtRegName", regName);
}

void frmRegName::onClick(const std::string& control) {
  if (control != "cmdSubmit") return;
  regName = text("txtRegName");
  unload();
}

}  // namespace pm
