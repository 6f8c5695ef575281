// The command lines of the installer programs. Both take the switches that
// deployment tools and administrators type on Windows; a switch starts with
// "/" or "-" and ignores letter case:
//
//   /?  -h  --help              show the usage and end (exit 0)
//   /quiet  /S  /VERYSILENT     PMSetup only: install without windows
//   /answers=FILE               the answer file (PMSetup needs /quiet with it)
//   /log=FILE                   write the run log to FILE
//   --no-pacing                 skip the one-second pause per report line
//   /plan  --plan               show what the install would do, changing nothing
//                               (PMSetup: implies /quiet)
//   --plan-format=text|json     the plan as text (default) or one JSON document
//
// PMSetupUnattended also takes the answer file as its one plain argument, so a
// host path such as "/tmp/answers.ini" is a file, not a switch: a word is a
// switch only when it starts with "-", or with "/" and holds no other path
// separator.
#pragma once

#include <string>
#include <vector>

#include "platform/result.h"

namespace pm::unattended {

enum class Program { Window, Unattended };

struct CommandLine {
  bool help = false;
  bool quiet = false;  // PMSetup without windows
  bool pacing = true;
  bool plan = false;      // show what the install would do, change nothing
  bool planJson = false;  // ... as one JSON document
  std::string answerFile;
  std::string logFile;
};

// A command line that is wrong fails with a message that names the word.
Result<CommandLine> parseCommandLine(const std::vector<std::string>& args, Program program);

// The file of the last "/log=FILE" word: found even when the command line is
// wrong elsewhere, so that a bad switch is logged too.
std::string logFileIn(const std::vector<std::string>& args);

// The usage text of the program (what /? shows).
std::string usage(Program program);

}  // namespace pm::unattended
