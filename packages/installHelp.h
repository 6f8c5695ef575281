// The help stage: the help files of help.txt copied into PMHelp and PMHelp\\PMHelpContent.
#pragma once

#include "console/installWindow.h"

namespace pm {

void installHelp(InstallWindow& frm);

}  // namespace pm
