#include "platform/win32ui/formWindow.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cmath>

#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "platform/win32ui/pictures.h"

namespace pm::win32ui {

namespace {

constexpr const wchar_t* kFormClass = L"PMSetupForm";
constexpr const wchar_t* kFrameClass = L"PMSetupFrame";
constexpr int kFirstId = 100;  // clear of IDOK and IDCANCEL
constexpr UINT kBusyPointer = 11;
// Windows' grey text: readable on the window colours of the installer.
constexpr COLORREF kGreyText = RGB(0x6D, 0x6D, 0x6D);

// Per-monitor DPI functions of newer Windows, looked up at run time so the
// program still starts where they are missing.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename F>
F user32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The visual-style functions, from the system folder (uxtheme.dll is not one
// of the system's known DLLs, so it is never imported).
win32::SystemLibrary& uxtheme() {
  static win32::SystemLibrary library(L"uxtheme.dll");
  return library;
}

HTHEME themeOf(HWND control) {
  using F = HTHEME(WINAPI*)(HWND);
  static const F f = uxtheme().function<F>("GetWindowTheme");
  return f ? f(control) : nullptr;
}

UINT systemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT dpiOf(HWND hwnd) {
  static const auto getDpi = user32<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpi && hwnd) {
    if (const UINT dpi = getDpi(hwnd)) return dpi;
  }
  return systemDpi();
}

bool isWindowed(ui::ControlKind kind) {
  return kind == ui::ControlKind::TextBox || kind == ui::ControlKind::Button ||
         kind == ui::ControlKind::CheckBox || kind == ui::ControlKind::Frame;
}

// Text boxes show CR LF line ends; a file's bare LF or CR becomes one too.
std::wstring toDisplay(const std::string& text) {
  std::string s;
  s.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      s += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      s += "\r\n";
    } else {
      s += c;
    }
  }
  return win32::widen(s);
}

std::wstring windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

UINT drawAlignment(ui::Alignment a) {
  switch (a) {
    case ui::Alignment::Center:
      return DT_CENTER;
    case ui::Alignment::Right:
      return DT_RIGHT;
    default:
      return DT_LEFT;
  }
}

// The face that stands for a font name: the name itself where the system has
// it, else its metric twin (a machine without the Windows core fonts).
std::wstring faceFor(const std::string& name) {
  if (name == "MS Sans Serif") {
    // The bitmap font of old cannot scale: its TrueType successor can.
    return availableFamily({L"Microsoft Sans Serif", L"Tahoma", L"Liberation Sans"});
  }
  if (name == "Arial") return availableFamily({L"Arial", L"Liberation Sans", L"DejaVu Sans"});
  if (name == "Times New Roman") {
    return availableFamily({L"Times New Roman", L"Liberation Serif", L"DejaVu Serif"});
  }
  return win32::widen(name);
}

}  // namespace

COLORREF toColorRef(ui::Color color) {
  if (ui::isSystemColor(color)) return GetSysColor(static_cast<int>(color & 0xFF));
  return RGB(ui::redOf(color), ui::greenOf(color), ui::blueOf(color));
}

void FormWindow::registerClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &FormWindow::windowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kFormClass;
  RegisterClassExW(&wc);
  wc.hIcon = nullptr;
  wc.lpszClassName = kFrameClass;
  RegisterClassExW(&wc);
}

FormWindow::FormWindow(ui::Form& form, HWND owner, const int& mousePointer)
    : form_(form), owner_(owner), mousePointer_(mousePointer) {
  registerClasses();
  dpi_ = systemDpi();
  DWORD style = WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (!form.titleBar) {
    style |= WS_POPUP;
  } else if (owner) {
    style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
    exStyle |= WS_EX_DLGMODALFRAME;
  } else {
    style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    exStyle |= WS_EX_APPWINDOW;
  }
  hwnd_ = CreateWindowExW(exStyle, kFormClass, win32::widen(form.caption).c_str(), style, 0, 0, 10,
                          10, owner, nullptr, GetModuleHandleW(nullptr), this);
  dpi_ = dpiOf(hwnd_);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  build();
  placeWindow();
  form_.addObserver(this);
}

FormWindow::~FormWindow() {
  form_.removeObserver(this);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    for (const Item& item : items_) {
      if (item.hwnd) SetWindowLongPtrW(item.hwnd, GWLP_USERDATA, 0);
    }
    DestroyWindow(hwnd_);
  }
  for (auto& [key, f] : fonts_) DeleteObject(f);
  for (auto& [key, b] : brushes_) DeleteObject(b);
}

int FormWindow::px(double twips) const {
  return static_cast<int>(std::lround(twips * dpi_ / 1440.0));
}

void FormWindow::placeWindow() {
  static const auto adjust = user32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  RECT r{0, 0, px(form_.width), px(form_.height)};
  if (adjust) {
    adjust(&r, style, FALSE, exStyle, dpi_);
  } else {
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  int x = px(form_.left), y = px(form_.top);
  if (form_.centred) {
    // In the middle of the work area of the monitor the window is on.
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(owner_ ? owner_ : hwnd_, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& area = info.rcWork;
    x = area.left + (area.right - area.left - w) / 2;
    y = area.top + (area.bottom - area.top - h) / 2;
  }
  SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::build() {
  int nextId = kFirstId;
  items_.reserve(form_.controls().size());
  for (const ui::Control& c : form_.controls()) {
    Item item;
    item.control = &c;
    item.id = nextId++;
    item.container = c.parent.empty() ? hwnd_ : items_.at(index_.at(c.parent)).hwnd;
    index_[c.name] = items_.size();
    items_.push_back(item);
    create(items_.back());
  }
  for (const Item& item : items_) apply(item, ui::Property::All);
  orderTabs();
}

void FormWindow::create(Item& item) {
  const ui::Control& c = *item.control;
  if (c.kind == ui::ControlKind::Timer) {
    applyTimer(item);
    return;
  }
  if (!isWindowed(c.kind)) return;
  const wchar_t* cls = L"BUTTON";
  DWORD style = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  switch (c.kind) {
    case ui::ControlKind::TextBox:
      cls = L"EDIT";
      exStyle = WS_EX_CLIENTEDGE;
      style |= c.multiLine ? (ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN) : ES_AUTOHSCROLL;
      if (c.multiLine && c.verticalScroll) style |= WS_VSCROLL;
      break;
    case ui::ControlKind::Button:
      // BS_NOTIFY: the focused button becomes the default one, so Enter presses it.
      style |= BS_PUSHBUTTON | BS_NOTIFY;
      break;
    case ui::ControlKind::CheckBox:
      // The form keeps the value; the box shows it.
      style |= BS_CHECKBOX | BS_VCENTER;
      break;
    case ui::ControlKind::Frame:
      cls = kFrameClass;
      style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
      exStyle = WS_EX_CONTROLPARENT;
      break;
    default:
      break;
  }
  item.hwnd =
      CreateWindowExW(exStyle, cls, L"", style, 0, 0, 1, 1, item.container,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)),
                      GetModuleHandleW(nullptr), c.kind == ui::ControlKind::Frame ? this : nullptr);
  SetWindowLongPtrW(item.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (c.kind == ui::ControlKind::TextBox) {
    SendMessageW(item.hwnd, EM_SETLIMITTEXT, 0, 0);  // the report grows past 32 KB
  }
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = item.container;
  tool.uId = reinterpret_cast<UINT_PTR>(item.hwnd);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Windowed controls in tab order: the dialog manager moves the focus in Z order.
void FormWindow::orderTabs() {
  std::vector<const Item*> windowed;
  for (const Item& item : items_) {
    if (item.hwnd) windowed.push_back(&item);
  }
  std::stable_sort(windowed.begin(), windowed.end(), [](const Item* a, const Item* b) {
    return a->control->tabIndex < b->control->tabIndex;
  });
  for (const Item* item : windowed) {
    SetWindowPos(item->hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

RECT FormWindow::rectOf(const ui::Control& c) const {
  const int x = px(c.left), y = px(c.top);
  return RECT{x, y, x + px(c.width), y + px(c.height)};
}

HFONT FormWindow::font(const ui::Font& f) {
  const std::string key = f.name + "|" + std::to_string(f.size) + "|" + (f.bold ? "b" : "") + "|" +
                          std::to_string(dpi_);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  const int height = -static_cast<int>(std::lround(f.size * dpi_ / 72.0));
  HFONT h = CreateFontW(height, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, faceFor(f.name).c_str());
  fonts_[key] = h;
  return h;
}

HBRUSH FormWindow::brush(COLORREF c) {
  auto it = brushes_.find(c);
  if (it != brushes_.end()) return it->second;
  return brushes_[c] = CreateSolidBrush(c);
}

void FormWindow::apply(const Item& item, ui::Property property) {
  const ui::Control& c = *item.control;
  if (c.kind == ui::ControlKind::Timer) {
    applyTimer(item);
    return;
  }
  if (!item.hwnd) return;  // drawn by its container
  HWND w = item.hwnd;
  const bool all = property == ui::Property::All;
  if (all || property == ui::Property::Geometry) {
    const RECT r = rectOf(c);
    SetWindowPos(w, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (all || property == ui::Property::Font) {
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font(c.font)), TRUE);
  }
  if (all || property == ui::Property::Enabled) EnableWindow(w, c.enabled);
  if (all || property == ui::Property::ToolTip) {
    const std::wstring tip = win32::widen(c.toolTip);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = item.container;
    tool.uId = reinterpret_cast<UINT_PTR>(w);
    tool.lpszText = const_cast<wchar_t*>(tip.c_str());
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  if (all || property == ui::Property::Text || property == ui::Property::Value) {
    switch (c.kind) {
      case ui::ControlKind::TextBox: {
        const std::wstring text = toDisplay(c.text);
        if (windowText(w) != text) {
          setting_ = true;
          SetWindowTextW(w, text.c_str());  // shows the start of the text, as the report box does
          setting_ = false;
        }
        SendMessageW(w, EM_SETREADONLY, c.locked, 0);
        break;
      }
      case ui::ControlKind::CheckBox:
        SetWindowTextW(w, win32::widen(c.text).c_str());
        SendMessageW(w, BM_SETCHECK, c.value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
      case ui::ControlKind::Button:
      case ui::ControlKind::Frame:
        SetWindowTextW(w, win32::widen(c.text).c_str());
        break;
      default:
        break;
    }
  }
  if (all || property == ui::Property::Colors || property == ui::Property::Enabled ||
      property == ui::Property::Text) {
    InvalidateRect(w, nullptr, TRUE);
  }
  if (all || property == ui::Property::Visible) ShowWindow(w, c.visible ? SW_SHOWNA : SW_HIDE);
}

void FormWindow::applyTimer(const Item& item) {
  const ui::Control& c = *item.control;
  KillTimer(hwnd_, static_cast<UINT_PTR>(item.id));
  if (c.enabled && c.interval > 0 && !unloaded_) {
    SetTimer(hwnd_, static_cast<UINT_PTR>(item.id), static_cast<UINT>(c.interval), nullptr);
  }
}

void FormWindow::relayout() {
  for (const Item& item : items_) {
    if (item.hwnd) {
      apply(item, ui::Property::Geometry);
      apply(item, ui::Property::Font);
    }
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void FormWindow::show() {
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetActiveWindow(hwnd_);
  const Item* first = nullptr;
  for (const Item& item : items_) {
    const ui::Control& c = *item.control;
    if (!item.hwnd || c.kind == ui::ControlKind::Frame || !form_.reachable(c.name)) continue;
    if (!first || c.tabIndex < first->control->tabIndex) first = &item;
  }
  SetFocus(first ? first->hwnd : hwnd_);
  UpdateWindow(hwnd_);
}

// ---- Keeping in step with the form.

bool FormWindow::shown(const ui::Control& c) const {
  return c.visible && c.kind != ui::ControlKind::Timer;
}

// A graphical control is drawn again at once (a long handler still shows its
// progress); a windowed one paints itself now too.
void FormWindow::invalidate(const Item& item, const RECT* before) {
  if (item.hwnd) {
    UpdateWindow(item.hwnd);
    return;
  }
  if (before) InvalidateRect(item.container, before, FALSE);
  const RECT now = rectOf(*item.control);
  InvalidateRect(item.container, &now, FALSE);
  UpdateWindow(item.container);
}

void FormWindow::controlChanged(ui::Form&, const ui::Control& control, ui::Property property) {
  auto it = index_.find(control.name);
  if (it == index_.end()) return;
  const Item& item = items_[it->second];
  if (item.hwnd && property == ui::Property::Enabled && !control.enabled &&
      GetFocus() == item.hwnd) {
    // A disabled control cannot keep the focus; the window takes it.
    SetFocus(hwnd_);
  }
  // Where a graphical control was, so a move or a hide leaves nothing behind.
  const RECT before = rectOf(*item.control);
  apply(item, property);
  if (control.kind != ui::ControlKind::Timer) invalidate(item, &before);
}

void FormWindow::formChanged(ui::Form& form) {
  SetWindowTextW(hwnd_, win32::widen(form.caption).c_str());
}

void FormWindow::formUnloaded(ui::Form&) {
  if (unloaded_) return;
  unloaded_ = true;
  for (const Item& item : items_) {
    if (item.control->kind == ui::ControlKind::Timer) {
      KillTimer(hwnd_, static_cast<UINT_PTR>(item.id));
    }
  }
  // The owner is enabled again before this window goes, so it takes the activation.
  if (onUnloaded) onUnloaded();
  ShowWindow(hwnd_, SW_HIDE);
}

// ---- Painting.

void FormWindow::paintContainer(HWND container, HDC dc, const RECT& client) {
  std::string frame;
  if (container == hwnd_) {
    FillRect(dc, &client, brush(toColorRef(form_.backColor)));
    if (!form_.picture.empty()) drawPicture(dc, client, form_.picture);
  } else {
    frame = containerName(container);
    const ui::Control& c = form_.control(frame);
    FillRect(dc, &client, brush(toColorRef(c.backColor)));
    HGDIOBJ old = SelectObject(dc, font(c.font));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT edge = client;
    edge.top += tm.tmHeight / 2;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    const std::wstring caption = win32::widen(c.text);
    if (!caption.empty()) {
      const int inset = MulDiv(6, static_cast<int>(dpi_), 96);
      SIZE size{};
      GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
      RECT text{client.left + inset, client.top, client.left + inset + size.cx + 4,
                client.top + tm.tmHeight};
      FillRect(dc, &text, brush(toColorRef(c.backColor)));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, form_.reachable(frame) ? toColorRef(c.foreColor) : kGreyText);
      text.left += 2;
      DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, old);
  }
  for (const Item& item : items_) {
    const ui::Control& c = *item.control;
    if (item.hwnd || c.parent != frame || !shown(c)) continue;
    drawGraphical(dc, c, rectOf(c));
  }
}

void FormWindow::drawGraphical(HDC dc, const ui::Control& c, const RECT& r) {
  switch (c.kind) {
    case ui::ControlKind::Label: {
      if (!c.transparent) FillRect(dc, &r, brush(toColorRef(c.backColor)));
      HGDIOBJ old = SelectObject(dc, font(c.font));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, c.enabled ? toColorRef(c.foreColor) : kGreyText);
      const std::wstring text = win32::widen(c.text);
      RECT area = r;
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | drawAlignment(c.alignment));
      SelectObject(dc, old);
      break;
    }
    case ui::ControlKind::Image:
      drawPicture(dc, r, c.picture);
      break;
    case ui::ControlKind::Shape:
      if (c.filled) FillRect(dc, &r, brush(toColorRef(c.fillColor)));
      FrameRect(dc, &r, brush(toColorRef(c.borderColor)));
      break;
    default:
      break;
  }
}

// A disabled check box: its box as the system draws it, its caption in the
// grey of the other disabled captions. The system's own greyed caption all
// but vanishes on the installer's colours.
LRESULT FormWindow::drawCheckBox(const Item& item, const NMCUSTOMDRAW& draw) {
  if (IsWindowEnabled(item.hwnd) ||
      (draw.dwDrawStage != CDDS_PREERASE && draw.dwDrawStage != CDDS_PREPAINT)) {
    return CDRF_DODEFAULT;
  }
  const ui::Control& c = *item.control;
  HDC dc = draw.hdc;
  RECT client;
  GetClientRect(item.hwnd, &client);
  FillRect(dc, &client, brush(toColorRef(c.backColor)));
  HGDIOBJ old = SelectObject(dc, font(c.font));
  const bool checked = c.value == 1;
  RECT box = client;
  int gap = 0;
  using PartSizeFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCRECT, THEMESIZE, SIZE*);
  using BackgroundFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCRECT, LPCRECT);
  static const auto partSize = uxtheme().function<PartSizeFn>("GetThemePartSize");
  static const auto background = uxtheme().function<BackgroundFn>("DrawThemeBackground");
  HTHEME theme = themeOf(item.hwnd);
  if (theme && partSize && background) {
    const int state = checked ? CBS_CHECKEDDISABLED : CBS_UNCHECKEDDISABLED;
    SIZE size{13, 13};
    partSize(theme, dc, BP_CHECKBOX, state, nullptr, TS_DRAW, &size);
    box.top = client.top + (client.bottom - client.top - size.cy) / 2;
    box.bottom = box.top + size.cy;
    box.right = box.left + size.cx;
    background(theme, dc, BP_CHECKBOX, state, &box, nullptr);
    gap = MulDiv(4, static_cast<int>(dpi_), 96);  // where the styled caption begins
  } else {
    const int side = MulDiv(12, static_cast<int>(dpi_), 96) + 1;
    box.top = client.top + (client.bottom - client.top - side) / 2;
    box.bottom = box.top + side;
    box.right = box.left + side;
    DrawFrameControl(dc, &box, DFC_BUTTON,
                     DFCS_BUTTONCHECK | DFCS_INACTIVE | (checked ? DFCS_CHECKED : 0));
    INT zero = 0;
    GetCharWidth32W(dc, L'0', L'0', &zero);
    gap = zero / 2;
  }
  RECT text = client;
  text.left = box.right + gap;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kGreyText);
  const std::wstring caption = win32::widen(c.text);
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
  return CDRF_SKIPDEFAULT;
}

// ---- Finding controls.

std::string FormWindow::containerName(HWND hwnd) const {
  if (hwnd == hwnd_) return {};
  for (const Item& item : items_) {
    if (item.hwnd == hwnd) return item.control->name;
  }
  return {};
}

FormWindow::Item* FormWindow::itemOfWindow(HWND hwnd) {
  for (Item& item : items_) {
    if (item.hwnd && item.hwnd == hwnd) return &item;
  }
  return nullptr;
}

FormWindow::Item* FormWindow::itemOfId(int id) {
  const int i = id - kFirstId;
  if (i < 0 || static_cast<std::size_t>(i) >= items_.size()) return nullptr;
  return &items_[static_cast<std::size_t>(i)];
}

// The label or image under a point of a container (shapes let the mouse
// through), the last declared first.
FormWindow::Item* FormWindow::itemAt(HWND container, POINT p) {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    const ui::Control& c = *it->control;
    if (it->container != container || it->hwnd || !shown(c)) continue;
    if (c.kind != ui::ControlKind::Label && c.kind != ui::ControlKind::Image) continue;
    const RECT r = rectOf(c);
    if (PtInRect(&r, p)) return &*it;
  }
  return nullptr;
}

// ---- Input.

void FormWindow::mouse(HWND container, UINT msg, LPARAM lp) {
  const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  const Item* hit = itemAt(container, p);
  const std::string name = hit ? hit->control->name : containerName(container);
  if (msg == WM_LBUTTONUP) {
    if (!pressing_) return;
    pressing_ = false;
    ReleaseCapture();
    if (name == pressed_) form_.click(name);
    return;
  }
  const ui::MouseButton button = msg == WM_RBUTTONDOWN   ? ui::MouseButton::Right
                                 : msg == WM_MBUTTONDOWN ? ui::MouseButton::Middle
                                                         : ui::MouseButton::Left;
  if (button == ui::MouseButton::Left) {
    pressing_ = true;
    pressed_ = name;
    SetCapture(container);
  }
  form_.mouseDown(name, button);
}

LRESULT FormWindow::controlColours(HDC dc, HWND control) {
  const Item* item = itemOfWindow(control);
  if (!item) return reinterpret_cast<LRESULT>(brush(toColorRef(form_.backColor)));
  const ui::Control& c = *item->control;
  const COLORREF back = toColorRef(c.backColor);
  SetTextColor(dc, toColorRef(c.foreColor));
  SetBkColor(dc, back);
  return reinterpret_cast<LRESULT>(brush(back));
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->handle(hwnd, msg, wp, lp);
}

void FormWindow::paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  // Drawn off screen first: no flicker while the report runs.
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  paintContainer(hwnd, memory, client);
  BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
         ps.rcPaint.bottom - ps.rcPaint.top, memory, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(hwnd, &ps);
}

// A control's notification: a click, a button's focus (it becomes the default
// button while it has it), a text box's change.
void FormWindow::command(WPARAM wp) {
  Item* item = itemOfId(LOWORD(wp));
  if (!item || !item->hwnd) return;
  const std::string name = item->control->name;
  const ui::ControlKind kind = item->control->kind;
  switch (HIWORD(wp)) {
    case BN_CLICKED:
      if (kind == ui::ControlKind::Button || kind == ui::ControlKind::CheckBox) form_.click(name);
      break;
    case BN_SETFOCUS:
    case BN_KILLFOCUS:
      if (kind == ui::ControlKind::Button) {
        SendMessageW(item->hwnd, BM_SETSTYLE,
                     HIWORD(wp) == BN_SETFOCUS ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
      }
      break;
    case EN_CHANGE:
      if (!setting_ && kind == ui::ControlKind::TextBox) {
        form_.typeText(name, win32::narrow(windowText(item->hwnd)));
      }
      break;
    default:
      break;
  }
}

// Moved to a monitor of another DPI: laid out again at the place Windows suggests.
void FormWindow::dpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  relayout();
  form_.left = static_cast<double>(suggested.left) * 1440.0 / dpi_;
  form_.top = static_cast<double>(suggested.top) * 1440.0 / dpi_;
  const bool centred = form_.centred;
  form_.centred = false;
  placeWindow();
  form_.centred = centred;
}

LRESULT FormWindow::handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paint(hwnd);
      return 0;
    case WM_COMMAND:
      if (lp) command(wp);  // none: Enter or Escape with no button for them
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->code != NM_CUSTOMDRAW) break;
      const Item* item = itemOfWindow(header->hwndFrom);
      if (!item || item->control->kind != ui::ControlKind::CheckBox) break;
      return drawCheckBox(*item, *reinterpret_cast<NMCUSTOMDRAW*>(lp));
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return controlColours(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
      mouse(hwnd, msg, lp);
      return 0;
    case WM_CAPTURECHANGED:
      pressing_ = false;
      return 0;
    case WM_GETDLGCODE:
      // The window itself has the focus only when no control takes it (the
      // splash): then every key is the form's.
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    case WM_CHAR:
      if (hwnd == hwnd_) form_.keyPress(static_cast<int>(wp <= 0xFF ? wp : '?'));
      return 0;
    case WM_SETCURSOR:
      if (mousePointer_ == kBusyPointer) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (hwnd == hwnd_) {
        if (Item* item = itemOfId(static_cast<int>(wp))) {
          const std::string name = item->control->name;
          form_.timerTick(name);
        }
      }
      return 0;
    case WM_CLOSE:
      // The form decides; when it unloads, formUnloaded hides the window.
      if (form_.loaded()) form_.requestClose();
      return 0;
    case WM_ACTIVATE:
      if (hwnd != hwnd_) break;
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focus_ = focus;
      } else if (focus_ && IsWindow(focus_) && IsWindowEnabled(focus_) && IsWindowVisible(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED:
      if (hwnd != hwnd_) break;
      dpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace pm::win32ui
