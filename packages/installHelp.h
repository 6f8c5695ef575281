// The help stage: the help files of help.txt copied into PMHelp (the contents
// file) and PMHelp\PMHelpContent (every other file).
//
// A help folder that cannot be made, or a file that cannot be put in place, is
// reported with its reason; the stage goes on with the next line.
#pragma once

#include "install/installWindow.h"

namespace pm {

void installHelp(InstallWindow& frm);

}  // namespace pm
