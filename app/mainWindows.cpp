// PMSetup for Windows: the upgrade installer for Pelmora v.1.9.5.
//
// The composition root: builds the Win32 services of this machine (the real
// registry, system folder, Program Manager and ODBC data sources), the Win32
// form toolkit and the install window, and runs the window until it closes.
// PMSetup takes no command-line options. A second installer on the machine, or
// a damaged installer, is refused with a message box before anything is
// changed (console/startUp.h).
#include <windows.h>

#include <memory>

#include "console/startUp.h"
#include "platform/win32/systemLibrary.h"
#include "platform/win32ui/win32Toolkit.h"

namespace {

// The window's front end, whose pauses keep its windows drawn.
class RepaintingFrontEnd : public pm::WindowFrontEnd {
 public:
  explicit RepaintingFrontEnd(pm::win32ui::Win32Toolkit& toolkit)
      : WindowFrontEnd(toolkit), toolkit_(toolkit) {}
  pm::Clock& clock(pm::Clock& machineClock) override {
    clock_ = std::make_unique<pm::win32ui::RepaintingClock>(machineClock, toolkit_);
    return *clock_;
  }

 private:
  pm::win32ui::Win32Toolkit& toolkit_;
  std::unique_ptr<pm::win32ui::RepaintingClock> clock_;
};

}  // namespace

int main() {
  // No library is taken from the installer folder (often a downloads folder).
  pm::win32::restrictDllSearch();
  const auto platform = pm::makePlatform();
  pm::win32ui::Win32Toolkit toolkit;
  RepaintingFrontEnd frontEnd(toolkit);
  return pm::startInstaller(*platform, frontEnd);
}
