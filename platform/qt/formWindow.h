// One shown form: a top-level widget whose children are the form's controls,
// kept in step with the form through its observer interface, and which passes
// the user's actions back to the form's dispatch functions.
//
// Geometry: 15 twips are one pixel; the widget's client area is exactly the
// form's width and height. Every widget's objectName is its control's name and
// the window's objectName the form's name.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "platform/ui.h"

class QTimer;

namespace pm::qt {

inline int toPixels(double twips) {
  return static_cast<int>(twips / 15.0 + 0.5);
}

class FormWindow : public QWidget, public ui::FormObserver {
 public:
  // A window for a loaded form, owned by `owner`'s window (may be null).
  FormWindow(ui::Form& form, QWidget* owner);
  ~FormWindow() override;

  ui::Form& form() { return form_; }
  // The widget of a control (nullptr for a timer or an unknown name).
  QWidget* widgetOf(const std::string& name) const;
  // Called once the form has been unloaded (the window is hidden by then).
  std::function<void()> onUnloaded;

  // Moves the focus to the first control in tab order that takes it, or to the
  // window itself.
  void focusFirst();

  // ui::FormObserver
  void controlChanged(ui::Form& form, const ui::Control& control, ui::Property property) override;
  void formChanged(ui::Form& form) override;
  void formUnloaded(ui::Form& form) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  QWidget* create(const ui::Control& control, QWidget* parent);
  void apply(const ui::Control& control, ui::Property property);
  void applyTimer(const ui::Control& control);
  void placeWindow();

  ui::Form& form_;
  std::map<std::string, QWidget*> widgets_;
  std::map<std::string, QTimer*> timers_;
  bool pressed_ = false;
  bool unloaded_ = false;
};

// Colour and font of the form toolkit as Qt's.
QColor toQColor(ui::Color color, const QPalette& palette);
QFont toQFont(const ui::Font& font);

}  // namespace pm::qt
