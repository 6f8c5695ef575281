#include "console/installGlobals.h"

namespace pm {

bool eulaAccepted = false;

}  // namespace pm
