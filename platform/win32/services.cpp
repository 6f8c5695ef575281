#include "platform/win32/services.h"

namespace pm {

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<win32::Win32Services>();
}

}  // namespace pm
