#include "packages/installCheck.h"

namespace pm {

void installCheck(InstallWindow& frm) {
  (void)frm;
}

}  // namespace pm
