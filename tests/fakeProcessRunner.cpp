#include "tests/fakeProcessRunner.h"

#include <cctype>

namespace pm::testing {

std::string FakeProcessRunner::programName(const std::string& cmdline) {
  const std::vector<std::string> args = splitWindowsCommandLine(cmdline);
  if (args.empty()) return {};
  std::string name = args[0].substr(args[0].find_last_of("\\/") + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
    name.resize(name.size() - 4);
  return name;
}

std::int32_t FakeProcessRunner::runAndWait(const std::string& cmdline) {
  commands.push_back(cmdline);
  const std::string name = programName(cmdline);
  if (name.empty() || missing.count(name)) return -1;
  if (onRun) return onRun(cmdline, splitWindowsCommandLine(cmdline));
  auto it = exitCodes.find(name);
  return it != exitCodes.end() ? it->second : defaultExitCode;
}

Status FakeProcessRunner::start(const std::string& cmdline) {
  started.push_back(cmdline);
  const std::string name = programName(cmdline);
  if (name.empty() || missing.count(name))
    return Status::failure("Cannot start \"" + cmdline + "\": program not found");
  return {};
}

}  // namespace pm::testing
