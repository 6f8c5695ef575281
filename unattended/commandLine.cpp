#include "unattended/commandLine.h"

#include <string_view>

#include "platform/text.h"

namespace pm::unattended {

namespace {

bool isSwitch(std::string_view word) {
  if (word.size() < 2) return false;
  if (word[0] == '-') return true;
  // "/answers=C:\\a.ini" is a switch, "/tmp/a.ini" a path.
  const std::string_view head = word.substr(0, word.find('='));
  return word[0] == '/' && head.find_first_of("/\\", 1) == std::string_view::npos;
}

// The value of "/name=VALUE" (or "-name=", "--name="), when `word` is that switch.
bool valueOf(std::string_view word, std::string_view name, std::string& value) {
  const std::size_t eq = word.find('=');
  if (eq == std::string_view::npos) return false;
  const std::string key = trim(word.substr(0, eq), "/-", Ends::Left);
  if (!equalsIgnoreCase(key, name)) return false;
  value = std::string(word.substr(eq + 1));
  return true;
}

}  // namespace

Result<CommandLine> parseCommandLine(const std::vector<std::string>& args, Program program) {
  CommandLine line;
  bool fileGiven = false;
  const auto setAnswers = [&](const std::string& file) -> Status {
    if (fileGiven) return Status::failure("only one answer file can be given");
    if (file.empty()) return Status::failure("the answer file's name is empty");
    line.answerFile = file;
    fileGiven = true;
    return Status();
  };
  for (const std::string& arg : args) {
    const std::string name = toLower(trim(arg, "/-", Ends::Left));
    std::string value;
    if (arg == "/?" || arg == "-?" || arg == "-h" || arg == "--help") {
      line.help = true;
      return line;
    }
    if (!isSwitch(arg)) {
      if (program != Program::Unattended) return Status::failure("unknown argument " + arg);
      if (Status set = setAnswers(arg); !set) return set;
    } else if (name == "no-pacing") {
      line.pacing = false;
    } else if (name == "plan") {
      line.plan = true;
      // A plan of PMSetup runs without windows, like its quiet install.
      if (program == Program::Window) line.quiet = true;
    } else if (valueOf(arg, "plan-format", value)) {
      if (!equalsIgnoreCase(value, "json") && !equalsIgnoreCase(value, "text"))
        return Status::failure("unknown plan format " + value + " (text or json)");
      line.planJson = equalsIgnoreCase(value, "json");
    } else if (program == Program::Window && arg[0] == '/' &&
               (name == "quiet" || name == "s" || name == "verysilent")) {
      line.quiet = true;
    } else if (valueOf(arg, "answers", value)) {
      if (Status set = setAnswers(value); !set) return set;
    } else if (valueOf(arg, "log", value)) {
      if (value.empty()) return Status::failure("the log file's name is empty");
      line.logFile = value;
    } else {
      return Status::failure("unknown option " + arg);
    }
  }
  if (line.planJson && !line.plan) return Status::failure("--plan-format needs --plan");
  if (program == Program::Unattended || line.quiet) {
    if (!fileGiven) return Status::failure("the answer file is missing");
  } else if (fileGiven) {
    return Status::failure("/answers needs /quiet (the window asks its own questions)");
  }
  return line;
}

std::string logFileIn(const std::vector<std::string>& args) {
  std::string file;
  for (const std::string& arg : args) {
    if (std::string value; isSwitch(arg) && valueOf(arg, "log", value)) file = value;
  }
  return file;
}

std::string usage(Program program) {
  if (program == Program::Window) {
    return "usage: PMSetup [/quiet|/plan [/plan-format=json] /answers=FILE] [/log=FILE]\n"
           "  Without switches: the Pelmora v.1.9.5 upgrade with its windows.\n"
           "  /quiet (or /S, /VERYSILENT) installs without windows, answering the\n"
           "  dialogs from the answer file (key = value lines: agreement, help, full,\n"
           "  folder, name, launch, valid-dates).\n"
           "  /plan shows what that install would do on this computer and changes\n"
           "  nothing; its exit code is the one the install would give.\n"
           "  /log=FILE writes the report with each line's time, then the outcome.\n"
           "  Exit codes: 0 completed, 1602 declined or cancelled, 1603 a stage\n"
           "  failed or the install stopped, 1618 another installer is running,\n"
           "  1620 the installer folder is damaged, 1639 bad command line or answer file.\n";
  }
  return "usage: PMSetupUnattended [--no-pacing] [--plan [--plan-format=json]] [/log=FILE] "
         "ANSWER_FILE\n"
         "  Runs the Pelmora v.1.9.5 upgrade without windows, answering the dialogs\n"
         "  from ANSWER_FILE (key = value lines: agreement, help, full, folder, name,\n"
         "  launch, valid-dates; also /answers=FILE). --no-pacing skips the one-second\n"
         "  pause per report line. --plan shows what the install would do on this\n"
         "  machine and changes nothing (text, or one JSON document); its exit code\n"
         "  is the one the install would give. /log=FILE writes the report with\n"
         "  each line's time, then the outcome and exit code.\n"
         "  Exit codes on Linux: 0 completed, 2 agreement declined, 3 a stage reported\n"
         "  a failure, 4 ended before the end, 5 another installer is running, 6 the\n"
         "  installer's cabinets are damaged, 64 bad command line or answer file.\n"
         "  On Windows: 0, 1602, 1603, 1603, 1618, 1620, 1639 in the same order.\n";
}

}  // namespace pm::unattended
