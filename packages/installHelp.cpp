#include "packages/installHelp.h"

namespace pm {

void installHelp(InstallWindow& frm) {
  (void)frm;
}

}  // namespace pm
