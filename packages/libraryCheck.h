// The library stage: runtime libraries, the temporary folder with the cabinets, and the shared
// libraries of library.txt installed into the system folder and registered.
#pragma once

#include "console/installWindow.h"

namespace pm {

void libraryCheck(InstallWindow& frm);

}  // namespace pm
