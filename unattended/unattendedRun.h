// The body of PMSetupUnattended, shared by its Linux and Windows mains: the
// command line, the answer file, and the install on the platform services a
// main has built. A main adds only what its platform needs (the services and
// a stdout of the report's own).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ansiText.h"
#include "platform/services.h"
#include "unattended/answerFile.h"
#include "unattended/commandLine.h"
#include "unattended/exitCodes.h"
#include "unattended/textWriter.h"

namespace pm::unattended {

struct Options {
  bool pacing = true;
  bool plan = false;      // show what the install would do (planOutput.h), change nothing
  bool planJson = false;  // ... as one JSON document
  std::string answerFile;
  // Set by the caller before prepare(): whose command line it reads, and the
  // code page of answer files that are not UTF-8.
  Program program = Program::Unattended;
  CodePage ansi = cp1252ToUtf8;
  // The numbering of the plan's last line, "Exit code: N".
  ExitNumbers numbers = ExitNumbers::Linux;
};

// Reads the command line (commandLine.h) and the answer file. Returns the exit
// code when the program ends here (help asked: 0, the usage on `out`; a bad
// command line or answer file: 64, with a message in `notes`); otherwise fills
// `options` and `answers`. Nothing on the machine has been touched by then.
std::optional<int> prepare(const std::vector<std::string>& args, Options& options, Answers& answers,
                           TextWriter& out, TextWriter& notes);

// Starts the installer on the platform (console/startUp.h: the cabinets'
// check, the machine's install lock), then runs the install window from the
// splash to "Complete" with the answers, echoing each report line to
// `report`; notes go to `notes` (stderr). Returns the exit code (see outcome.h).
// With options.plan the install runs over recording services
// (platform/recording.h) and changes nothing: `report` gets the plan
// (planOutput.h), and the exit code is the one the install would give.
int install(const Options& options, const Answers& answers, pm::Platform& platform,
            TextWriter& report, TextWriter& notes);

}  // namespace pm::unattended
