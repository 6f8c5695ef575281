#include "unattended/headlessToolkit.h"

namespace pm::unattended {

namespace {
constexpr const char* kPrefix = "PMSetupUnattended: ";
}

ui::MsgBoxResult HeadlessToolkit::askYesNo(const std::string& text, const std::string& caption) {
  notes_ << kPrefix << caption << ": " << text << " - answered No"
         << "\n";
  return ui::MsgBoxResult::No;
}

void HeadlessToolkit::notify(const std::string& text, const std::string& caption) {
  notes_ << kPrefix << caption << ": " << text << "\n";
}

void HeadlessToolkit::endProgram() {
  throw EndedByProgram{};
}

void HeadlessToolkit::showModal(ui::Form& form, ui::Form* owner) {
  (void)owner;
  form.load();
  if (form.loaded()) answer(form);
  // A form that its answer did not close is closed as by its close box: its
  // results keep the values they had.
  if (form.loaded()) form.unload();
}

void HeadlessToolkit::answer(ui::Form& form) {
  const std::string& name = form.name();
  if (name == "frmSplash") {
    form.keyPress(13);
  } else if (name == "frmEULA") {
    if (!answers_.agree) {
      notes_ << kPrefix << "agreement declined"
             << "\n";
      form.click("cmdCancel");
    } else if (form.click("cmdIread")) {
      notes_ << kPrefix << "agreement accepted"
             << "\n";
    } else {
      notes_ << kPrefix << "the agreement could not be shown, so it cannot be accepted: "
             << form.text("txtEULA") << "\n";
      form.click("cmdCancel");
    }
  } else if (name == "frmOptions") {
    if (answers_.full && form.value("chkInstallAll") == 0) form.click("chkInstallAll");
    if (answers_.help && form.value("chkHelp") == 0) form.click("chkHelp");
    notes_ << kPrefix << "options: help " << (form.value("chkHelp") ? "yes" : "no") << ", samples "
           << (form.value("chkSamples") ? "yes" : "no") << "\n";
    form.click("cmdAccept");
  } else if (name == "frmInstallDirectory") {
    if (answers_.folder) form.typeText("txtInstallDir", *answers_.folder);
    notes_ << kPrefix << "install folder: " << form.text("txtInstallDir") << "\n";
    form.click("cmdSubmit");
  } else if (name == "frmRegName") {
    if (answers_.name) form.typeText("txtRegName", *answers_.name);
    notes_ << kPrefix << "registration name: \"" << form.text("txtRegName") << "\""
           << "\n";
    form.click("cmdSubmit");
  } else {
    notes_ << kPrefix << "no answer for the window " << name << "; it is closed"
           << "\n";
  }
}

void HeadlessToolkit::run(ui::Form& startForm) {
  startForm.load();
  if (!startForm.loaded()) return;
  if (answers_.validDates) {
    startForm.mouseDown("Image1", ui::MouseButton::Left);
    if (startForm.value("chkLibraryDate") == 0) startForm.click("chkLibraryDate");
  }
  startForm.click("cmdInstall");
  if (answers_.launch && startForm.value("chkLaunch") == 0) startForm.click("chkLaunch");
  completed_ = startForm.click("cmdClose");
  if (startForm.loaded()) startForm.unload();
}

}  // namespace pm::unattended
