// Outside programs, started from a Windows command line.
//
// The command line is split by the Windows rules (those of CommandLineToArgvW:
// quotes group, 2n backslashes before a quote give n backslashes and a quote
// toggle, 2n+1 give n and a literal quote, a trailing `"TEMP"\` gives `TEMP\`,
// runs of blanks give no empty argument). The program, named by the first
// argument, is looked for in the installer folder first, then on PATH. It is
// started without a shell and inherits the working folder and the environment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace pm {

// Splits a command line into arguments by the Windows rules above.
std::vector<std::string> splitWindowsCommandLine(const std::string& cmdline);

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Starts the command line, waits for the program to end and returns its exit
  // code; -1 when it could not be started.
  virtual std::int32_t runAndWait(const std::string& cmdline) = 0;
  // Starts the command line without waiting. Fails with a message when the
  // program could not be started.
  virtual Status start(const std::string& cmdline) = 0;
};

}  // namespace pm
