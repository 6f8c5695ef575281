#include "console/dirCheck.h"

namespace pm {

bool dirCheck(InstallWindow& frm) {
  (void)frm;
  return true;
}

}  // namespace pm
