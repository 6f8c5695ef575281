// The form toolkit on Win32: shows any declared form (see formWindow.h),
// modally or as the start-up window, with its own message loop; provides the
// message boxes, the wait cursor, one pass over pending events (a PeekMessage
// loop) and the end of the program.
//
// Keyboard navigation is the dialog manager's (IsDialogMessage): Tab and the
// arrow keys move the focus in tab order, Space and Enter press the focused
// button.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/win32ui/formWindow.h"

namespace pm::win32ui {

// Common controls and GDI+: call once before the first window.
void prepareApplication();

class Win32Toolkit : public ui::Toolkit {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override = default;

  void doEvents() override;
  void setMousePointer(int pointer) override;
  int mousePointer() const override { return pointer_; }
  ui::MsgBoxResult askYesNo(const std::string& text, const std::string& caption) override;
  void notify(const std::string& text, const std::string& caption) override;
  [[noreturn]] void endProgram() override;
  void showModal(ui::Form& form, ui::Form* owner) override;
  void run(ui::Form& startForm) override;

  // Repaints the windows that need it, without handling any input: what the
  // installer's pauses do, so its windows stay drawn and answering while the
  // user's clicks wait for the next pass over pending events.
  void repaintPending();

  // The window of a form while it is shown, else nullptr.
  FormWindow* windowOf(const ui::Form& form) const;

 private:
  void show(ui::Form& form, ui::Form* owner, bool modal);
  // Hands one message to its window, through the dialog manager of the form
  // window it belongs to. Returns false for WM_QUIT.
  bool dispatch(MSG& msg);
  HWND activeWindow() const;

  std::map<const ui::Form*, FormWindow*> windows_;
  int pointer_ = 0;
};

// A clock whose waits keep the windows drawn (see repaintPending).
class RepaintingClock : public Clock {
 public:
  RepaintingClock(Clock& inner, Win32Toolkit& toolkit) : inner_(inner), toolkit_(toolkit) {}
  DateTime now() override { return inner_.now(); }
  void sleepUntil(DateTime when) override;
  CivilDate today() override { return inner_.today(); }
  std::string shortDate(const CivilDate& date) override { return inner_.shortDate(date); }

 private:
  Clock& inner_;
  Win32Toolkit& toolkit_;
};

}  // namespace pm::win32ui
