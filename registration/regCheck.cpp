#include "registration/regCheck.h"

namespace pm {

void regCheck(InstallWindow& frm) {
  (void)frm;
}

}  // namespace pm
