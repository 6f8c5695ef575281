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

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unattended/exitCodes.h"
#include "unattended/textWriter.h"

namespace pm::unattended {

class RunLog {
 public:
  using Now = std::function<std::string()>;

  // Opens the log the command line names (the file is replaced). A log that
  // cannot be opened is reported on `err`; the run goes on without one.
  RunLog(const std::vector<std::string>& args, TextWriter& err, Now now = utcNow);
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Where the run writes its notes: `err` and the log together.
  TextWriter& notes();
  // `out` and the log together: what the run writes to `out` is logged too.
  TextWriter& tee(TextWriter& out);

  // Writes the outcome of `code` (outcome.h) and the exit code in `numbers`,
  // closes the log, and returns that exit code.
  int finish(int code, ExitNumbers numbers);

  static std::string utcNow();

 private:
  class Tee;
  std::FILE* file_ = nullptr;
  Now now_;
  std::unique_ptr<Tee> notes_, out_;
};

// The outcome's words in the log ("completed", "the agreement was declined" ...).
std::string outcomeText(int code);

}  // namespace pm::unattended
