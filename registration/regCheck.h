// The registry stage: the application path, the uninstall entry, the document types, and the user's
// name in the product database.
#pragma once

#include "install/installWindow.h"

namespace pm {

void regCheck(InstallWindow& frm);

}  // namespace pm
