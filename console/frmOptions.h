// The options dialog: what the install should do besides upgrading the program.
// Only two choices reach the install, "Install Help Files" (optHelp) and
// "Install Database Samples" (optSamples); the samples box can only be set
// through "Full Install", which checks every box.
#pragma once

#include <string>

#include "platform/ui.h"

namespace pm {

class frmOptions : public ui::Form {
 public:
  frmOptions();

  // Set by "Continue"; closing the dialog any other way leaves both false.
  bool optHelp = false;
  bool optSamples = false;

 protected:
  void onLoad() override;
  void onClick(const std::string& control) override;

 private:
  void applyFullInstall();
};

}  // namespace pm
