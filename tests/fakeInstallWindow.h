// A stand-in for the install window, for driving one stage at a time: it keeps
// the install state, records every report line, pause, command line and event
// pass, and answers the dialogs that stages open with scripted answers. It does
// not wait in pause(); the real window's pacing is tested on its own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/installWindow.h"
#include "tests/fakeToolkit.h"

namespace pm::testing {

// The stage tests' toolkit: no windows, the pointer and event passes recorded.
using NullToolkit = FakeToolkit;

class FakeInstallWindow : public InstallWindow {
 public:
  explicit FakeInstallWindow(Services& services) : services_(services) {}

  InstallState& state() override { return state_; }
  Services& services() override { return services_; }

  std::string rept(const std::string& inval, std::int16_t delayx = 0) override;
  void pbar(std::int16_t) override {}
  void pause(std::int16_t tenths) override { pauses.push_back(tenths); }
  void dumpRpt() override;
  std::int32_t ExecCmd(const std::string& cmdline) override;
  void doEvents() override { services_.toolkit.doEvents(); }
  void showCurrent(const std::string& caption) override {
    currentCaption = caption;
    currentVisible = true;
  }
  void hideCurrent() override { currentVisible = false; }
  bool libraryDateOption() override { return validDates; }
  DdeLink& lblDDE() override;
  std::string askRegName(const std::string& preset) override;
  std::string askInstallDirectory() override;

  // The report lines in order (each rept call's text as given).
  std::vector<std::string> lines;
  // Every pause in tenths: those of rept (5 by default) and the direct ones.
  std::vector<std::int16_t> pauses;
  // Every command line run, in order.
  std::vector<std::string> commands;
  int dumps = 0;
  std::string currentCaption;
  bool currentVisible = false;
  bool validDates = false;

  // Dialog answers. askRegName records the preset it was given.
  std::vector<std::string> regNamePresets;
  std::function<std::string(const std::string& preset)> regNameAnswer =
      [](const std::string& preset) { return preset; };
  std::vector<std::string> installDirAnswers;  // taken in order; then the default
  int installDirAsked = 0;

  // The DDE link behind lblDDE (set by tests that reach the program group).
  DdeLink* ddeLink = nullptr;

 private:
  Services& services_;
  InstallState state_;
};

}  // namespace pm::testing
