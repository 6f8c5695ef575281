// The form toolkit: a small retained-mode toolkit on which every window of the
// installer is declared as data (its controls, as its layout table gives them)
// plus event handlers. A renderer (Qt on this platform) draws any declared form.
//
// This header starts with the toolkit-wide services that the install logic needs
// outside of any one form: one pass over pending events, the screen's mouse
// pointer, the Yes/No message box, and ending the program.
#pragma once

#include <string>

namespace pm::ui {

enum class MsgBoxResult { Yes, No };

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  // Lets the window system handle the events that are pending, once (DoEvents).
  virtual void doEvents() = 0;
  // The screen's mouse pointer: 0 default, 11 hourglass, other values as Windows.
  virtual void setMousePointer(int pointer) = 0;
  virtual int mousePointer() const = 0;
  // A modal Yes/No question with a caption and no icon.
  virtual MsgBoxResult askYesNo(const std::string& text, const std::string& caption) = 0;
  // A modal notice with an OK button.
  virtual void notify(const std::string& text, const std::string& caption) = 0;
  // Ends the program at once (the End statement): no further code of the forms runs.
  [[noreturn]] virtual void endProgram() = 0;
};

}  // namespace pm::ui
