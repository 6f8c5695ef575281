#include "packages/libraryCheck.h"

namespace pm {

void libraryCheck(InstallWindow& frm) {
  (void)frm;
}

}  // namespace pm
