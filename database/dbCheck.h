// The database stage: backs up the product database, puts the blank one from the main cabinet in
// its place, registers the data source Dorvane and tests it.
#pragma once

#include "install/installWindow.h"

namespace pm {

void dbCheck(InstallWindow& frm, bool smp = false);

}  // namespace pm
