// The previous-install validation: finds the application folder and reports whether the
// application's executable is there.
#pragma once

#include "install/installWindow.h"

namespace pm {

bool dirCheck(InstallWindow& frm);

}  // namespace pm
