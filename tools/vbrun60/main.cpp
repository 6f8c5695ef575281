// VBRun60: the Visual Basic 6 runtime package, as a stand-in.
#include <iostream>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "platform/posix/posixClock.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixRegistryStore.h"
#include "tools/vbrun60/vbrun60.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const pm::posix::Machine machine = pm::posix::Machine::fromEnvironment();
  pm::posix::PosixFileSystem fs(machine);
  pm::posix::PosixRegistryStore registry(machine);
  pm::posix::PosixClock clock;
  return pm::vbrun60::run(args, fs, registry, clock.now(), std::cout, std::cerr);
}
