#include "tests/fakeToolkit.h"

namespace pm::testing {

void FakeToolkit::doEvents() {
  ++eventPasses;
  if (onDoEvents) onDoEvents();
}

ui::MsgBoxResult FakeToolkit::askYesNo(const std::string& text, const std::string& caption) {
  questions.push_back(caption + ": " + text);
  if (answers.empty()) return ui::MsgBoxResult::No;
  const ui::MsgBoxResult answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakeToolkit::notify(const std::string& text, const std::string& caption) {
  notices.push_back(caption + ": " + text);
}

void FakeToolkit::endProgram() {
  ended = true;
  throw ProgramEnded{};
}

void FakeToolkit::showModal(ui::Form& form, ui::Form* owner) {
  shown.push_back({form.name(), owner ? owner->name() : std::string()});
  form.load();
  if (!form.loaded()) return;
  auto script = scripts.find(form.name());
  if (script != scripts.end()) script->second(form);
  if (form.loaded()) form.unload();
}

}  // namespace pm::testing
