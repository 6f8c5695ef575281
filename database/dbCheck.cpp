#include "database/dbCheck.h"

namespace pm {

void dbCheck(InstallWindow& frm, bool smp) {
  (void)frm;
  (void)smp;
}

}  // namespace pm
