// The run log asked for with /log=FILE: what the run wrote (the report lines
// and the notes on standard error), each line with its time, then the outcome
// and the exit code. It is written however early the run stops: a bad answer
// file, another installer running or a damaged installer folder leave their
// message in the log too. Without /log it writes nothing.
//
//   2026-12-06T23:54:16Z  Checking for previous installation...
//   ...
//   2026-12-06T23:55:02Z  Outcome: completed
//   2026-12-06T23:55:02Z  Exit code: 0
#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "unattended/exitCodes.h"

namespace pm::unattended {

class RunLog {
 public:
  using Now = std::function<std::string()>;

  // Opens the log the command line names (the file is replaced) and copies
  // std::cerr into it until the log ends. A log that cannot be opened is
  // reported on std::cerr; the run goes on without one.
  RunLog(const std::vector<std::string>& args, Now now = utcNow);
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // `out` and the log together: what the run writes to `out` is logged too.
  std::ostream& tee(std::ostream& out);

  // Writes the outcome of `code` (outcome.h) and the exit code in `numbers`,
  // closes the log, and returns that exit code.
  int finish(int code, ExitNumbers numbers);

  static std::string utcNow();

 private:
  class Tee;
  std::ofstream file_;
  Now now_;
  std::unique_ptr<Tee> errTee_, outTee_;
  std::unique_ptr<std::ostream> out_;
  std::streambuf* savedErr_ = nullptr;
};

// The outcome's words in the log ("completed", "the agreement was declined" ...).
std::string outcomeText(int code);

}  // namespace pm::unattended
