// A process runner that starts nothing: it records every command line and
// answers with an exit code. The code comes from `onRun` when it is set (which
// can also simulate the program's effects, e.g. files a tool would write), else
// from `exitCodes` by program name (the first argument's last component, lower
// case, without ".exe"), else `defaultExitCode`. Programs listed in `missing`
// cannot be started: runAndWait gives -1 and start fails.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/process.h"

namespace pm::testing {

class FakeProcessRunner : public ProcessRunner {
 public:
  std::int32_t runAndWait(const std::string& cmdline) override;
  Status start(const std::string& cmdline) override;

  // "C:\x\Cabarc.EXE" -> "cabarc".
  static std::string programName(const std::string& cmdline);

  std::vector<std::string> commands;  // runAndWait, in order
  std::vector<std::string> started;   // start, in order
  std::function<std::int32_t(const std::string& cmdline, const std::vector<std::string>& args)>
      onRun;
  std::map<std::string, std::int32_t> exitCodes;
  std::set<std::string> missing;
  std::int32_t defaultExitCode = 0;
};

}  // namespace pm::testing
