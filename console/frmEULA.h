// The agreement dialog: shows the licence agreement "Eula.txt" from the
// installer folder and sets the install state's eulaAccepted (handed to it) when
// the user presses "I Agree". An agreement that cannot be read cannot be accepted: the box then
// explains why, and "I Agree" is disabled.
#pragma once

#include <string>

#include "platform/filesystem.h"
#include "platform/ui.h"

namespace pm {

class frmEULA : public ui::Form {
 public:
  // `installerFolder`: the folder that holds "Eula.txt", without a trailing separator.
  // `eulaAccepted`: the flag the dialog sets when it closes.
  frmEULA(FileSystem& fs, std::string installerFolder, bool& eulaAccepted);

  // The text shown in place of an agreement that could not be read.
  static const char* const kUnreadableNotice;

 protected:
  void onLoad() override;
  void onClick(const std::string& control) override;

 private:
  FileSystem& fs_;
  std::string installerFolder_;
  bool& eulaAccepted_;
  bool agreementShown_ = false;
};

}  // namespace pm
