// The executables stage: the program files of upgrade.txt copied into the
// application folder, then the program-group items.
//
// Every listed file replaces the installed one whatever its date. A file that
// cannot be put in place (not in the cabinet, target read-only or in use,
// application folder missing) stays as it was; the report names it and the
// reason, and the stage goes on with the next line.
#pragma once

#include "install/installWindow.h"

namespace pm {

void installCheck(InstallWindow& frm);

}  // namespace pm
