#include "console/frmEULA.h"

namespace pm {

const char* const frmEULA::kUnreadableNotice =
    "The licence agreement (Eula.txt) could not be read from the installer folder, so it "
    "cannot be accepted. Press Cancel; the installation will then end without changing your "
    "application.";

frmEULA::frmEULA(FileSystem& fs, std::string installerFolder, bool& eulaAccepted)
    : ui::Form("frmEULA"),
      fs_(fs),
      installerFolder_(std::move(installerFolder)),
      eulaAccepted_(eulaAccepted) {
  caption = "License Agreement";
  width = 6855;
  height = 5700;
  centred = true;

  auto& heading = addLabel("Label2", "END USER LICENSE AGREEMENT", 0, 0, 6855, 255);
  heading.foreColor = ui::kWhite;
  heading.backColor = 0x00B06F42;
  heading.alignment = ui::Alignment::Center;
  heading.font.bold = true;

  auto& agreement = addTextBox("txtEULA", "", 480, 360, 5895, 3855, true);
  agreement.verticalScroll = true;
  // The agreement is read, never edited: what the user agrees to is the file.
  agreement.locked = true;

  auto& cancel = addButton("cmdCancel", "Cancel", 480, 4680, 1095, 495);

  auto& prompt = addLabel("Label1",
                          "Please read carefully.  If you agree to the terms of this agreement, "
                          "please click 'I Agree'.  Otherwise you may return the software for a "
                          "full refund provided all copies are destroyed.",
                          1800, 4320, 3135, 1215);
  prompt.alignment = ui::Alignment::Center;
  prompt.font.bold = true;

  auto& agree = addButton("cmdIread", "I Agree", 5160, 4680, 975, 495);

  // "Cancel" comes first in the tab order, so Enter on a fresh dialog declines.
  cancel.tabIndex = 0;
  heading.tabIndex = 1;
  agreement.tabIndex = 2;
  prompt.tabIndex = 3;
  agree.tabIndex = 4;
}

void frmEULA::onLoad() {
  agreementShown_ = false;
  auto text = fs_.readText(installerFolder_ + "\\Eula.txt");
  if (text) {
    setText("txtEULA", fs_.fromAnsi(text.value()));
    agreementShown_ = true;
  } else {
    setText("txtEULA", kUnreadableNotice);
    setEnabled("cmdIread", false);
  }
}

void frmEULA::onClick(const std::string& control) {
  if (control == "cmdIread") {
    // Nobody can agree to an agreement they were not shown.
    eulaAccepted_ = agreementShown_;
    unload();
  } else if (control == "cmdCancel") {
    eulaAccepted_ = false;
    unload();
  }
}

}  // namespace pm
