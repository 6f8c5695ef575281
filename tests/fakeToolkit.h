// A scripted toolkit for testing forms without a window system.
//
// showModal loads the form, then runs the script registered for the form's name
// (a test's stand-in for the user: clicks, typing, timer ticks); a form that is
// still loaded afterwards is unloaded, as when the user closes it with its close
// box. Every form shown, every question and notice, every event pass and mouse
// pointer is recorded. endProgram throws ProgramEnded, which a test catches.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace pm::testing {

class FakeToolkit : public ui::Toolkit {
 public:
  struct ProgramEnded {};
  using Script = std::function<void(ui::Form&)>;

  void doEvents() override;
  void setMousePointer(int pointer) override { pointerHistory.push_back(pointer_ = pointer); }
  int mousePointer() const override { return pointer_; }
  ui::MsgBoxResult askYesNo(const std::string& text, const std::string& caption) override;
  void notify(const std::string& text, const std::string& caption) override;
  [[noreturn]] void endProgram() override;
  void showModal(ui::Form& form, ui::Form* owner) override;

  // What the user does while a form of this name is shown.
  std::map<std::string, Script> scripts;
  // Called on every doEvents (a queued click, for instance).
  std::function<void()> onDoEvents;
  // Answers to askYesNo, taken in order; when none is left, No.
  std::deque<ui::MsgBoxResult> answers;

  struct Shown {
    std::string form;
    std::string owner;  // "" without an owner
  };
  std::vector<Shown> shown;            // every modal show, in order
  std::vector<std::string> questions;  // "caption: text"
  std::vector<std::string> notices;    // "caption: text"
  std::vector<int> pointerHistory;     // every setMousePointer
  int eventPasses = 0;
  bool ended = false;

 private:
  int pointer_ = 0;
};

}  // namespace pm::testing
