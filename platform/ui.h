// The form toolkit: a small retained-mode toolkit on which every window of the
// installer is declared as data (its controls, as its layout table gives them)
// plus event handlers. A renderer (Qt on Linux, Win32 controls on Windows) draws any declared form;
// tests and the headless toolkit drive the same forms without any window system.
//
// A form is a class derived from ui::Form. Its constructor declares the form's
// own properties (caption, size, position, colours, picture) and its controls in
// creation order with the add* functions, whose returned Control may be adjusted
// right there (font, colours, tooltip, state at start). From then on every change
// goes through the Form's setters, which tell the form's observers (the renderer)
// what changed. The form reacts to the user by overriding the on* handlers.
//
// The user's actions reach a form through its dispatch functions (click,
// mouseDown, keyPress, typeText, timerTick, requestClose). A renderer calls them
// from its widgets; a headless toolkit or a test calls them directly, e.g.
// "showModal(frmEULA) = load, then click("cmdIread")".
//
// Geometry is in twips (1/1440 inch; 15 twips are one pixel on the screens the
// installer was drawn for). Colours are Windows colour values: &H00BBGGRR& for an
// explicit colour, &H800000xx& for a system colour (see the k* constants).
//
// The Toolkit holds what belongs to no one form: modal display, the start-up
// form's event loop, one pass over pending events, the screen's mouse pointer,
// the Yes/No message box, a notice, and ending the program.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace pm::ui {

// A Windows colour value: 0x00BBGGRR, or a system colour 0x800000nn.
using Color = std::uint32_t;

inline constexpr Color rgb(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline constexpr bool isSystemColor(Color c) {
  return (c & 0x80000000u) != 0;
}
inline constexpr int redOf(Color c) {
  return static_cast<int>(c & 0xFF);
}
inline constexpr int greenOf(Color c) {
  return static_cast<int>((c >> 8) & 0xFF);
}
inline constexpr int blueOf(Color c) {
  return static_cast<int>((c >> 16) & 0xFF);
}

// System colours (the renderer picks the platform's matching colour).
inline constexpr Color kButtonFace = 0x8000000Fu;        // dialog and button background
inline constexpr Color kButtonText = 0x80000012u;        // text on buttons and labels
inline constexpr Color kWindowBackground = 0x80000005u;  // text box background
inline constexpr Color kWindowText = 0x80000008u;        // text box text
inline constexpr Color kWhite = 0x00FFFFFFu;
inline constexpr Color kBlack = 0x00000000u;

enum class ControlKind { Label, TextBox, Button, CheckBox, Frame, Image, Shape, Timer };

enum class Alignment { Left, Right, Center };

// Mouse buttons, with the values of the Windows mouse events.
enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

struct Font {
  std::string name = "MS Sans Serif";
  double size = 8.25;  // points
  bool bold = false;
  bool operator==(const Font&) const = default;
};

// One control of a form. Which fields matter depends on the kind; the others
// are ignored.
struct Control {
  std::string name;  // unique in its form; the renderer's widget name
  ControlKind kind = ControlKind::Label;
  // The frame this control sits in (its position is then relative to the
  // frame), or empty for the form itself.
  std::string parent;
  // Caption of a label, button, check box or frame; the text of a text box.
  std::string text;
  double left = 0, top = 0, width = 0, height = 0;  // twips
  Font font;
  Color foreColor = kButtonText;
  Color backColor = kButtonFace;
  bool transparent = false;  // label: no background of its own (the form shows through)
  Alignment alignment = Alignment::Left;
  bool visible = true;
  bool enabled = true;
  int tabIndex = 0;  // focus order; add* numbers controls in creation order
  std::string toolTip;

  int value = 0;  // check box: 0 unchecked, 1 checked

  bool multiLine = false;       // text box
  bool verticalScroll = false;  // text box: vertical scroll bar
  bool locked = false;          // text box: the user cannot change the text

  std::string picture;   // image: picture id (see "Pictures" below)
  bool stretch = false;  // image: the picture fills the control

  bool filled = false;         // shape: solid fill (else an outline)
  Color fillColor = kBlack;    // shape: the fill
  Color borderColor = kBlack;  // shape: the outline

  int interval = 0;  // timer: milliseconds between ticks (0 never ticks)
  // A timer ticks while `enabled` and interval > 0; re-enabling restarts its count.
};

// Pictures are drawn by the renderer from these ids:
//   "install.background"  the install window's background
//   "install.icon"        the install window's 32x32 icon (Image1)
//   "splash.background"   the splash window's background
//   "splash.logo"         the product logo with the product name
//   "dialog.background"   the background of the small dialogs
//   "divider"             a thin horizontal divider line
// An unknown id draws nothing.

// What a form tells its renderer. `property` names what changed.
enum class Property {
  Text,
  Visible,
  Enabled,
  Value,
  Geometry,
  Font,
  Colors,
  ToolTip,
  Picture,
  Timer,  // interval or enabled of a timer
  All,    // anything (Form::modify)
};

class Form;

class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void controlChanged(Form& form, const Control& control, Property property) = 0;
  // The form's caption changed.
  virtual void formChanged(Form& form) = 0;
  // The form has been unloaded: its window goes away (and a modal show returns).
  virtual void formUnloaded(Form& form) = 0;
};

class Form {
 public:
  explicit Form(std::string name);
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }

  // ---- The form's own properties (set while declaring; caption also later).
  std::string caption;
  double left = 0, top = 0;      // twips, on the screen; used unless centred
  double width = 0, height = 0;  // the client area, twips
  bool centred = false;          // placed in the middle of the screen
  bool titleBar = true;          // false: no title bar and no border decorations
  Color backColor = kButtonFace;
  std::string picture;  // background picture id, stretched over the client area

  void setCaption(const std::string& text);

  // ---- Declaring controls (in creation order). The reference stays valid for
  // the form's life. A duplicate name is a programming error (std::logic_error).
  Control& add(Control control);
  Control& addLabel(const std::string& name, const std::string& caption, double left, double top,
                    double width, double height);
  Control& addTextBox(const std::string& name, const std::string& text, double left, double top,
                      double width, double height, bool multiLine = false);
  Control& addButton(const std::string& name, const std::string& caption, double left, double top,
                     double width, double height);
  Control& addCheckBox(const std::string& name, const std::string& caption, double left, double top,
                       double width, double height);
  Control& addFrame(const std::string& name, const std::string& caption, double left, double top,
                    double width, double height);
  Control& addImage(const std::string& name, const std::string& picture, double left, double top,
                    double width, double height);
  Control& addShape(const std::string& name, double left, double top, double width, double height);
  Control& addTimer(const std::string& name, int intervalMs = 0);

  // ---- Reading controls. An unknown name is a programming error (std::out_of_range).
  bool has(const std::string& name) const { return index_.count(name) != 0; }
  const Control& control(const std::string& name) const;
  // All controls in creation order.
  const std::deque<Control>& controls() const { return controls_; }
  const std::string& text(const std::string& name) const { return control(name).text; }
  int value(const std::string& name) const { return control(name).value; }
  bool visible(const std::string& name) const { return control(name).visible; }
  bool enabled(const std::string& name) const { return control(name).enabled; }
  // True when the control and every frame around it are visible and enabled
  // (the user can reach it).
  bool reachable(const std::string& name) const;

  // ---- Changing controls (each tells the observers).
  void setText(const std::string& name, const std::string& text);
  void setVisible(const std::string& name, bool visible);
  void setEnabled(const std::string& name, bool enabled);
  void setValue(const std::string& name, int value);
  void setGeometry(const std::string& name, double left, double top, double width, double height);
  void setWidth(const std::string& name, double width);
  void setToolTip(const std::string& name, const std::string& toolTip);
  void setTimerInterval(const std::string& name, int intervalMs);
  // Anything else: `change` edits the control, the observers hear Property::All.
  void modify(const std::string& name, const std::function<void(Control&)>& change);

  // ---- Lifetime.
  // Runs the load handler once (a second call does nothing). The toolkit loads a
  // form before it shows it.
  void load();
  // Runs the unload handler and takes the form down; the observers hear it and a
  // modal show of it returns. Its fields stay readable. Nothing when not loaded.
  void unload();
  bool loaded() const { return loaded_; }

  // ---- The user's actions (called by renderers, headless toolkits and tests).
  // Each does nothing and returns false when the form is not loaded or the
  // control cannot be reached (hidden or disabled, or in such a frame).
  //
  // A click on a control; a check box first toggles its value. An empty name is
  // the form's own surface (outside any control).
  bool click(const std::string& name);
  // A mouse button pressed over a control ("" the form's surface).
  bool mouseDown(const std::string& name, MouseButton button);
  // A key pressed while the form has the focus; `keyAscii` is the character (0
  // for keys without one).
  bool keyPress(int keyAscii);
  // The user changed a text box's text.
  bool typeText(const std::string& name, const std::string& text);
  // A timer's interval has elapsed; ticks only while the timer is enabled.
  bool timerTick(const std::string& name);
  // The user asked the window system to close the form (its close box). The form
  // unloads unless its queryClose handler refuses. Returns whether it unloaded.
  bool requestClose();

  // ---- Observers (renderers). An observer must outlive its registration.
  void addObserver(FormObserver* observer);
  void removeObserver(FormObserver* observer);

 protected:
  // Event handlers, overridden by each form. `control` is the control's name
  // ("" for the form's surface).
  virtual void onLoad() {}
  virtual void onUnload() {}
  virtual void onClick(const std::string& control) { (void)control; }
  virtual void onMouseDown(const std::string& control, MouseButton button) {
    (void)control;
    (void)button;
  }
  virtual void onKeyPress(int keyAscii) { (void)keyAscii; }
  virtual void onChange(const std::string& control) { (void)control; }
  virtual void onTimer(const std::string& timer) { (void)timer; }
  // The close box was pressed: return false to keep the form.
  virtual bool onQueryClose() { return true; }

 private:
  Control& mutableControl(const std::string& name);
  void notify(const Control& control, Property property);

  std::string name_;
  std::deque<Control> controls_;
  std::map<std::string, std::size_t> index_;
  std::vector<FormObserver*> observers_;
  bool loaded_ = false;
};

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

  // Loads the form (its load handler runs), shows it modally over `owner` (may
  // be null) and returns once the form has been unloaded. A form that unloads
  // itself while loading is never shown. Without a window system (this default)
  // the form is loaded and, if nothing unloaded it, unloaded again, as when the
  // user closes a dialog without its button: its results keep the values they had.
  virtual void showModal(Form& form, Form* owner);
  // Loads and shows the program's start-up form and handles events until it has
  // been unloaded. The default only loads it.
  virtual void run(Form& startForm);
};

}  // namespace pm::ui
