// regsvr32: registers libraries in the machine's registry store.
#include <iostream>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "platform/posix/posixClock.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixRegistryStore.h"
#include "tools/regsvr32/regsvr32.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const pm::posix::Machine machine = pm::posix::Machine::fromEnvironment();
  pm::posix::PosixFileSystem fs(machine);
  pm::posix::PosixRegistryStore registry(machine);
  pm::posix::PosixClock clock;
  return pm::regsvr32::run(args, fs, registry, clock.now(), std::cout, std::cerr);
}
