// The command runner behind the install window's ExecCmd.
#pragma once

#include <cstdint>
#include <string>

#include "platform/process.h"
#include "platform/ui.h"

namespace pm {

// Starts the command line, waits for it to end, lets the window handle its
// pending events once, and returns the exit code (-1 when it could not start).
std::int32_t ExecCmd(const std::string& cmdline, ProcessRunner& processes, ui::Toolkit& toolkit);

}  // namespace pm
