// The folder dialog: asks for the application folder when the earlier
// installation cannot be found, offering the default folder.
#pragma once

#include <string>

#include "platform/ui.h"

namespace pm {

class frmInstallDirectory : public ui::Form {
 public:
  frmInstallDirectory();

  // The folder the dialog offers.
  static constexpr const char* kDefaultFolder = "C:\\Program Files\\Pelmora";

  // Set by "Submit" to the text as typed; empty when closed any other way.
  std::string installDir;

 protected:
  void onLoad() override;
  void onClick(const std::string& control) override;
};

}  // namespace pm
