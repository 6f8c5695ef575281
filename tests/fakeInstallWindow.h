// A stand-in for the install window, for driving one stage at a time: it keeps
// the install state, records every report line, and answers
// the dialogs that stages open with scripted answers. It does not wait in
// pause(); the real window's pacing is tested on its own.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "install/installWindow.h"
#include "install/modShell.h"
#include "tests/fakeToolkit.h"

namespace pm::testing {

// The stage tests' toolkit: no windows, the pointer and event passes recorded.
using NullToolkit = FakeToolkit;

class FakeInstallWindow : public InstallWindow {
 public:
  explicit FakeInstallWindow(Services& services) : services_(services) {}

  InstallState& state() override { return state_; }
  Services& services() override { return services_; }
  std::string rept(const std::string& inval, std::int16_t = 0) override {
    lines.push_back(inval);
    state_.reportText += inval + "\r\n";
    ++state_.stepCount;
    return state_.reportText;
  }
  void pbar(std::int16_t) override {}
  void pause(std::int16_t) override {}
  void dumpRpt() override {
    ++dumps;
    (void)services_.fs.writeText(services_.installerFolder + "\\PMInstall.dbg", state_.reportText);
  }
  std::int32_t ExecCmd(const std::string& cmdline) override {
    return pm::ExecCmd(cmdline, services_.processes, services_.toolkit);
  }
  void doEvents() override { services_.toolkit.doEvents(); }
  void showCurrent(const std::string&) override {}
  void hideCurrent() override {}
  bool libraryDateOption() override { return false; }
  DdeLink& lblDDE() override {
    if (!ddeLink) throw std::logic_error("FakeInstallWindow: no DDE link set");
    return *ddeLink;
  }
  std::string askRegName(const std::string& preset) override {
    regNamePresets.push_back(preset);
    return regNameAnswer(preset);
  }
  // The answers in order, then the dialog's own offer.
  std::string askInstallDirectory() override {
    const auto index = static_cast<std::size_t>(installDirAsked++);
    return index < installDirAnswers.size() ? installDirAnswers[index]
                                            : "C:\\Program Files\\Pelmora";
  }

  std::vector<std::string> lines;  // each rept call's text as given
  int dumps = 0;
  std::vector<std::string> regNamePresets;  // what askRegName was given
  std::function<std::string(const std::string& preset)> regNameAnswer =
      [](const std::string& preset) { return preset; };
  std::vector<std::string> installDirAnswers;
  int installDirAsked = 0;
  DdeLink* ddeLink = nullptr;  // behind lblDDE, for the tests that reach the program group

 private:
  Services& services_;
  InstallState state_;
};

}  // namespace pm::testing
