// The executables stage: the program files of upgrade.txt copied into the application folder, then
// the program-group items.
#pragma once

#include "console/installWindow.h"

namespace pm {

void installCheck(InstallWindow& frm);

}  // namespace pm
