#include "platform/win32ui/win32Toolkit.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "platform/win32ui/pictures.h"

namespace pm::win32ui {

void prepareApplication() {
  win32::preloadWindowLibraries();
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
  // Common Controls is not a known DLL: never imported.
  static win32::SystemLibrary comctl32(L"comctl32.dll");
  using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (const auto init = comctl32.function<Init>("InitCommonControlsEx")) init(&icc);
  startPictures();
  FormWindow::registerClasses();
}

Win32Toolkit::Win32Toolkit() {
  prepareApplication();
}

bool Win32Toolkit::dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    // Left for the outermost loop.
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  bool ours = false;
  for (const auto& [form, window] : windows_) ours = ours || (root && window->hwnd() == root);
  // The handlers may show or close windows: the list is not walked meanwhile.
  if (ours && IsDialogMessageW(root, &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

void Win32Toolkit::doEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!dispatch(msg)) break;
  }
}

void Win32Toolkit::repaintPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
  // Looking at the queue tells the system the program still answers.
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void Win32Toolkit::setMousePointer(int pointer) {
  pointer_ = pointer;
  SetCursor(LoadCursorW(nullptr, pointer == 11 ? IDC_WAIT : IDC_ARROW));
}

HWND Win32Toolkit::activeWindow() const {
  HWND active = GetActiveWindow();
  for (const auto& [form, window] : windows_) {
    if (window->hwnd() == active) return active;
  }
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (IsWindowVisible(it->second->hwnd())) return it->second->hwnd();
  }
  return nullptr;
}

ui::MsgBoxResult Win32Toolkit::askYesNo(const std::string& text, const std::string& caption) {
  const int answer =
      MessageBoxW(activeWindow(), win32::widen(text).c_str(), win32::widen(caption).c_str(),
                  MB_YESNO | MB_DEFBUTTON1 | MB_APPLMODAL | MB_SETFOREGROUND);
  return answer == IDYES ? ui::MsgBoxResult::Yes : ui::MsgBoxResult::No;
}

void Win32Toolkit::notify(const std::string& text, const std::string& caption) {
  MessageBoxW(activeWindow(), win32::widen(text).c_str(), win32::widen(caption).c_str(),
              MB_OK | MB_APPLMODAL | MB_SETFOREGROUND);
}

void Win32Toolkit::endProgram() {
  std::fflush(nullptr);
  ExitProcess(0);
}

FormWindow* Win32Toolkit::windowOf(const ui::Form& form) const {
  auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : it->second;
}

void Win32Toolkit::show(ui::Form& form, ui::Form* owner, bool modal) {
  form.load();
  if (!form.loaded()) return;

  FormWindow* ownerWindow = owner ? windowOf(*owner) : nullptr;
  auto window =
      std::make_unique<FormWindow>(form, ownerWindow ? ownerWindow->hwnd() : nullptr, pointer_);
  // A modal form keeps the user away from every other window of the program
  // until it has gone.
  std::vector<HWND> disabled;
  if (modal) {
    for (const auto& [other, w] : windows_) {
      if (IsWindowEnabled(w->hwnd())) {
        EnableWindow(w->hwnd(), FALSE);
        disabled.push_back(w->hwnd());
      }
    }
  }
  const auto enableOthers = [&disabled] {
    for (HWND h : disabled) EnableWindow(h, TRUE);
    disabled.clear();
  };
  window->onUnloaded = enableOthers;
  windows_[&form] = window.get();
  if (form.loaded()) {
    window->show();
    MSG msg;
    while (!window->unloaded()) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      dispatch(msg);
    }
  }
  enableOthers();
  window->onUnloaded = nullptr;
  windows_.erase(&form);
  const HWND ownerHwnd = ownerWindow ? ownerWindow->hwnd() : nullptr;
  window.reset();
  if (ownerHwnd && IsWindowVisible(ownerHwnd)) SetActiveWindow(ownerHwnd);
}

void Win32Toolkit::showModal(ui::Form& form, ui::Form* owner) {
  show(form, owner, true);
}

void Win32Toolkit::run(ui::Form& startForm) {
  show(startForm, nullptr, false);
}

void RepaintingClock::sleepUntil(DateTime when) {
  // Short sleeps, so a window that was uncovered is drawn again soon.
  while (inner_.now().seconds < when.seconds) {
    toolkit_.repaintPending();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_PAINT);
  }
}

}  // namespace pm::win32ui
