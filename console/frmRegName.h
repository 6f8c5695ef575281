// The name dialog: asks for the name under which the product is registered.
// The caller presets regName with the name it has and reads it back afterwards.
#pragma once

#include <string>

#include "platform/ui.h"

namespace pm {

class frmRegName : public ui::Form {
 public:
  frmRegName();

  // Shown when the dialog loads; set by "Submit" to the text as typed, and
  // left as preset when the dialog is closed any other way.
  std::string regName;

 protected:
  void onLoad() override;
  void onClick(const std::string& control) override;
};

}  // namespace pm
