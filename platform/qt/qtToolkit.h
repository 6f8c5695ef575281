// The form toolkit on Qt Widgets: shows any declared form (see formWindow.h),
// modally or as the start-up window, and provides the message boxes, the mouse
// pointer, one pass over pending events and the end of the program.
//
// A QApplication must exist before the toolkit is made. prepareApplication()
// sets what the forms' geometry relies on (96 dots per inch, Fusion style, the
// Windows font names mapped to their metric twins); call it first.
#pragma once

#include <map>

#include "platform/qt/formWindow.h"
#include "platform/ui.h"

class QApplication;

namespace pm::qt {

// Environment for QApplication: call before it is constructed.
void prepareEnvironment();
// Style and fonts: call once the QApplication exists.
void prepareApplication(QApplication& app);

// While it lives, a program that Qt cannot give a display (no DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM, or a display that cannot be reached)
// prints `message` on stderr and ends with `exitCode`, instead of Qt's abort.
// Make it before the QApplication, and let it go once that exists.
class DisplayRequired {
 public:
  DisplayRequired(const char* message, int exitCode);
  ~DisplayRequired();
  DisplayRequired(const DisplayRequired&) = delete;
  DisplayRequired& operator=(const DisplayRequired&) = delete;
};

class QtToolkit : public ui::Toolkit {
 public:
  QtToolkit() = default;
  ~QtToolkit() override = default;

  void doEvents() override;
  void setMousePointer(int pointer) override;
  int mousePointer() const override { return pointer_; }
  ui::MsgBoxResult askYesNo(const std::string& text, const std::string& caption) override;
  void notify(const std::string& text, const std::string& caption) override;
  [[noreturn]] void endProgram() override;
  void showModal(ui::Form& form, ui::Form* owner) override;
  void run(ui::Form& startForm) override;

  // The window of a form while it is shown, else nullptr.
  FormWindow* windowOf(const ui::Form& form) const;

 private:
  void show(ui::Form& form, ui::Form* owner, bool modal);
  QWidget* activeParent() const;

  std::map<const ui::Form*, FormWindow*> windows_;
  int pointer_ = 0;
};

}  // namespace pm::qt
