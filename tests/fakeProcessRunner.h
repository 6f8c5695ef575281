// A process runner that starts nothing: it records every command line and
// answers with the exit code that `onRun` gives (which can also simulate the
// program's effects, e.g. files a tool would write), else 0; `start` answers
// with `startResult`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace pm::testing {

class FakeProcessRunner : public ProcessRunner {
 public:
  std::int32_t runAndWait(const std::string& cmdline) override {
    commands.push_back(cmdline);
    return onRun ? onRun(cmdline, splitWindowsCommandLine(cmdline)) : 0;
  }
  Status start(const std::string& cmdline) override {
    started.push_back(cmdline);
    return startResult;
  }

  std::vector<std::string> commands;  // runAndWait, in order
  std::vector<std::string> started;   // start, in order
  std::function<std::int32_t(const std::string& cmdline, const std::vector<std::string>& args)>
      onRun;
  Status startResult;
};

}  // namespace pm::testing
