#include "platform/posix/services.h"

namespace pm {

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<posix::PosixServices>(posix::Machine::fromEnvironment(),
                                                posix::executableFolder());
}

}  // namespace pm
