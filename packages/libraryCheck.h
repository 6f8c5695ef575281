// The library stage: runtime libraries, the temporary folder with the cabinets,
// and the shared libraries of library.txt installed into the system folder and
// registered.
//
// Setting up the temporary folder and copying the cabinets pass over failures
// in silence; the later checks (is the file there now?) show what came of them.
// A library is never replaced by nothing: one the cabinet did not yield, or one
// that cannot be copied, is left as it was and the report says so.
#pragma once

#include "install/installWindow.h"

namespace pm {

void libraryCheck(InstallWindow& frm);

}  // namespace pm
