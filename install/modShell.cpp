#include "install/modShell.h"

namespace pm {

std::int32_t ExecCmd(const std::string& cmdline, ProcessRunner& processes, ui::Toolkit& toolkit) {
  const std::int32_t exitCode = processes.runAndWait(cmdline);
  toolkit.doEvents();
  return exitCode;
}

}  // namespace pm
