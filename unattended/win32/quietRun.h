// The install without windows on this Windows machine, shared by
// PMSetupUnattended.exe and PMSetup.exe /quiet: the command line, the run log,
// the answer file (in the machine's ANSI code page when it is not UTF-8), the
// install, and its exit code in the Windows Installer's numbers.
#pragma once

#include <string>
#include <vector>

#include "unattended/commandLine.h"

namespace pm::unattended::win32 {

// The command line's arguments as UTF-8, whatever the ANSI code page.
std::vector<std::string> commandArguments();

// Runs `program`'s command line without windows; returns the exit code.
int runWithoutWindows(const std::vector<std::string>& args, Program program);

}  // namespace pm::unattended::win32
