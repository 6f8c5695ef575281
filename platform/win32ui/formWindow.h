// One shown form as a Win32 window: a top-level window whose children are the
// form's controls, kept in step with the form through its observer interface,
// and which passes the user's actions back to the form's dispatch functions.
//
// Text boxes, buttons and check boxes are the system's EDIT and BUTTON
// controls; a frame is a child window that draws its etched border and caption
// and holds its controls. Labels, images and shapes have no window of their
// own (as in the toolkit the forms were designed with): their container draws
// them and hands their presses to the form.
//
// Geometry: twips scaled by the window's DPI (15 twips a pixel at 96 DPI); the
// client area is exactly the form's width and height, and the window follows a
// move to a monitor of another DPI.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace pm::win32ui {

class FormWindow : public ui::FormObserver {
 public:
  // A window for a loaded form, owned by `owner` (may be null). `mousePointer`
  // is the toolkit's screen pointer (11: the wait cursor over every window).
  FormWindow(ui::Form& form, HWND owner, const int& mousePointer);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  ui::Form& form() { return form_; }
  HWND hwnd() const { return hwnd_; }
  bool unloaded() const { return unloaded_; }
  // Called once the form has been unloaded, before the window is hidden.
  std::function<void()> onUnloaded;

  // Shows the window and gives the focus to the first control in tab order
  // that takes it (or to the window itself).
  void show();

  // ui::FormObserver
  void controlChanged(ui::Form& form, const ui::Control& control, ui::Property property) override;
  void formChanged(ui::Form& form) override;
  void formUnloaded(ui::Form& form) override;

  // Twips to pixels at this window's DPI.
  int px(double twips) const;

  // Registers the window classes (once).
  static void registerClasses();

 private:
  struct Item {
    const ui::Control* control = nullptr;
    HWND hwnd = nullptr;       // its window; null for a label, image, shape or timer
    HWND container = nullptr;  // the window it is drawn on or is a child of
    int id = 0;
  };

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void paint(HWND hwnd);
  void command(WPARAM wp);
  void dpiChanged(UINT dpi, const RECT& suggested);

  void build();
  void create(Item& item);
  void apply(const Item& item, ui::Property property);
  void applyTimer(const Item& item);
  void orderTabs();
  void relayout();
  void placeWindow();
  void paintContainer(HWND container, HDC dc, const RECT& client);
  void drawGraphical(HDC dc, const ui::Control& c, const RECT& r);
  RECT rectOf(const ui::Control& c) const;
  bool shown(const ui::Control& c) const;
  void invalidate(const Item& item, const RECT* before);
  Item* itemAt(HWND container, POINT p);
  Item* itemOfWindow(HWND hwnd);
  Item* itemOfId(int id);
  std::string containerName(HWND hwnd) const;
  HFONT font(const ui::Font& f);
  HBRUSH brush(COLORREF c);
  LRESULT controlColours(HDC dc, HWND control);
  LRESULT drawCheckBox(const Item& item, const NMCUSTOMDRAW& draw);
  void mouse(HWND container, UINT msg, LPARAM lp);

  ui::Form& form_;
  HWND owner_;
  const int& mousePointer_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  UINT dpi_ = 96;
  std::vector<Item> items_;  // creation order
  std::map<std::string, std::size_t> index_;
  std::map<std::string, HFONT> fonts_;
  std::map<COLORREF, HBRUSH> brushes_;
  std::string pressed_;  // the graphical control (or "" the surface) a press began on
  bool pressing_ = false;
  bool unloaded_ = false;
  bool setting_ = false;  // the window changes a text box itself: no typeText
};

// A toolkit colour as a Windows colour (system colours from the system).
COLORREF toColorRef(ui::Color color);

}  // namespace pm::win32ui
