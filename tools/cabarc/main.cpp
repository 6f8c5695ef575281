// Cabarc: the cabinet archiver that the installer runs from its folder.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "tools/cabarc/cabarc.h"

int main(int argc, char** argv) {
  // Without TZ the C library looks at /etc/localtime again for every time it
  // converts (one system call per member); naming the same zone once spares that.
  ::setenv("TZ", ":/etc/localtime", 0);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(pm::cabarc::usageText().c_str(), stdout);
    return pm::cabarc::kUsage;
  }
  const pm::posix::Machine machine = pm::posix::Machine::fromEnvironment();
  pm::cabarc::Writer out(stdout), err(stderr);
  const int code = pm::cabarc::run(
      args, [&machine](const std::string& path) { return machine.toHost(path).string(); }, out,
      err);
  return code;
}
