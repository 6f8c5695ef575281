// frmUpgradeInstall: the installer's main window. It shows the running report,
// the newest line, the progress bar and the current activity, carries the
// Install / Cancel / Complete buttons and "Launch Pelmora", owns the install
// state, and is the InstallWindow through which every stage reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "database/dbCheck.h"
#include "install/installWindow.h"
#include "platform/ddeLinks.h"
#include "platform/ui.h"

namespace pm {

class frmUpgradeInstall : public ui::Form, public InstallWindow {
 public:
  explicit frmUpgradeInstall(Services& services);

  // InstallWindow
  InstallState& state() override { return state_; }
  Services& services() override { return services_; }
  std::string rept(const std::string& inval, std::int16_t delayx = 0) override;
  void pbar(std::int16_t n) override;
  void pause(std::int16_t tenths) override;
  void dumpRpt() override;
  std::int32_t ExecCmd(const std::string& cmdline) override;
  void doEvents() override;
  void showCurrent(const std::string& caption) override;
  void hideCurrent() override;
  bool libraryDateOption() override;
  DdeLink& lblDDE() override;
  std::string askRegName(const std::string& preset) override;
  std::string askInstallDirectory() override;

  // The install sequence: the click handler of cmdInstall.
  void cmdInstall_Click();
  // True while the install sequence runs.
  bool installing() const { return installing_; }
  // The database stage as the sequence calls it, with the samples choice of the
  // options dialog; a test can watch what it is handed.
  std::function<void(InstallWindow&, bool)> dbCheckStage = dbCheck;

  // The debug file's path: "PMInstall.dbg" in the installer folder, or beside
  // the temporary folder when the installer folder cannot be written.
  std::string debugFilePath() const;

  // The full width of the progress bar's track, twips.
  static constexpr double kTrackWidth = 8775;

 protected:
  void onLoad() override;
  void onClick(const std::string& control) override;
  void onMouseDown(const std::string& control, ui::MouseButton button) override;
  bool onQueryClose() override;

 private:
  void cmdCancelInstall_Click();
  void cmdClose_Click();
  Status writeDebugFile();
  // The two dialogs of the sequence.
  void showAgreement();
  struct InstallOptions {
    bool optHelp = false;
    bool optSamples = false;
  };
  InstallOptions askOptions();
  void deleteTemporaryFolder();

  Services& services_;
  InstallState state_;
  LabelDdeLink ddeLink_;
  bool installing_ = false;
};

}  // namespace pm
