// A form toolkit without windows: it shows every form "modally" by driving
// the form's own handlers the way the user would, with the answers of the
// answer file, and runs the install window from "Install" to "Complete".
//
//   splash                 dismissed at once, as by a key press
//   frmEULA                "I Agree" or "Cancel"
//   frmOptions             "Full Install" and "Install Help Files" as answered, "Continue"
//   frmInstallDirectory    the folder typed when one is answered, "Submit"
//   frmRegName             the name typed when one is answered (else the
//                          preset stays), "Submit"
//   the install window     "Valid Dates" revealed and ticked when answered,
//                          "Install", "Launch Pelmora" as answered, "Complete"
//
// Questions are answered No; notices and the answers given are written to
// `notes` (stderr), so that stdout carries the report alone.
#pragma once

#include <string>
#include <utility>

#include "platform/ui.h"
#include "unattended/answerFile.h"
#include "unattended/textWriter.h"

namespace pm::unattended {

class HeadlessToolkit : public ui::Toolkit {
 public:
  HeadlessToolkit(Answers answers, TextWriter& notes)
      : answers_(std::move(answers)), notes_(notes) {}

  void doEvents() override {}
  void setMousePointer(int pointer) override { pointer_ = pointer; }
  int mousePointer() const override { return pointer_; }
  ui::MsgBoxResult askYesNo(const std::string& text, const std::string& caption) override;
  void notify(const std::string& text, const std::string& caption) override;
  // Leaves through EndedByProgram, which the caller catches to end the run.
  [[noreturn]] void endProgram() override;
  void showModal(ui::Form& form, ui::Form* owner) override;
  void run(ui::Form& startForm) override;

  // Thrown by endProgram.
  struct EndedByProgram {};

  // True once "Complete" has been pressed and the install window has closed.
  bool completed() const { return completed_; }

 private:
  void answer(ui::Form& form);

  Answers answers_;
  TextWriter& notes_;
  int pointer_ = 0;
  bool completed_ = false;
};

}  // namespace pm::unattended
