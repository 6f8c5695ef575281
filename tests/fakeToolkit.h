// A scripted toolkit for testing forms without a window system.
//
// showModal loads the form, then runs the script registered for the form's name
// (a test's stand-in for the user: clicks, typing, timer ticks); a form that is
// still loaded afterwards is unloaded, as when the user closes it with its close
// box. Questions, notices, event passes and mouse pointers are recorded.
// endProgram throws ProgramEnded, which a test catches.
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

  void doEvents() override { ++eventPasses; }
  void setMousePointer(int pointer) override { pointerHistory.push_back(pointer_ = pointer); }
  int mousePointer() const override { return pointer_; }
  ui::MsgBoxResult askYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(caption + ": " + text);
    if (answers.empty()) return ui::MsgBoxResult::No;
    const ui::MsgBoxResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void notify(const std::string& text, const std::string& caption) override {
    notices.push_back(caption + ": " + text);
  }
  [[noreturn]] void endProgram() override { throw ProgramEnded{}; }
  void showModal(ui::Form& form, ui::Form*) override {
    form.load();
    if (!form.loaded()) return;
    if (auto script = scripts.find(form.name()); script != scripts.end()) script->second(form);
    if (form.loaded()) form.unload();
  }

  std::map<std::string, Script> scripts;  // what the user does while a form of this name is shown
  std::deque<ui::MsgBoxResult> answers;   // to askYesNo, in order; when none is left, No
  std::vector<std::string> questions;     // "caption: text"
  std::vector<std::string> notices;       // "caption: text"
  std::vector<int> pointerHistory;        // every setMousePointer
  int eventPasses = 0;

 private:
  int pointer_ = 0;
};

}  // namespace pm::testing
