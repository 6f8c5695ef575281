#include "unattended/runLog.h"

#include <chrono>
#include <ctime>
#include <utility>

#include "platform/hostFile.h"
#include "unattended/commandLine.h"
#include "unattended/outcome.h"

namespace pm::unattended {

// Passes everything on to `next` and to the log, where each line starts with
// its time.
class RunLog::Tee : public TextWriter {
 public:
  Tee(TextWriter& next, RunLog& log) : next_(next), log_(log) {}

  void write(std::string_view text) override {
    next_.write(text);
    std::FILE* file = log_.file_;
    if (!file) return;
    while (!text.empty()) {
      if (lineStart_) {
        const std::string now = log_.now_() + "  ";
        std::fwrite(now.data(), 1, now.size(), file);
      }
      const std::size_t cut = text.find('\n');
      const std::size_t n = cut == std::string_view::npos ? text.size() : cut + 1;
      std::fwrite(text.data(), 1, n, file);
      lineStart_ = cut != std::string_view::npos;
      if (lineStart_) std::fflush(file);
      text.remove_prefix(n);
    }
  }

 private:
  TextWriter& next_;
  RunLog& log_;
  bool lineStart_ = true;
};

namespace {

// The log's name, unless the run only shows its usage.
std::string logFileOf(const std::vector<std::string>& args) {
  const auto line = parseCommandLine(args, Program::Unattended);
  return line && line->help ? "" : logFileIn(args);
}

}  // namespace

std::string RunLog::utcNow() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
  return text;
}

RunLog::RunLog(const std::vector<std::string>& args, TextWriter& err, Now now)
    : now_(std::move(now)), notes_(std::make_unique<Tee>(err, *this)) {
  const std::string path = logFileOf(args);
  if (path.empty()) return;
  file_ = openHostFile(path, "wb");
  if (!file_) err << "PMSetup: cannot write the log " << path << "\n";
}

RunLog::~RunLog() {
  if (file_) std::fclose(file_);
}

TextWriter& RunLog::notes() {
  return *notes_;
}

TextWriter& RunLog::tee(TextWriter& out) {
  out_ = std::make_unique<Tee>(out, *this);
  return *out_;
}

int RunLog::finish(int code, ExitNumbers numbers) {
  const int exitCode = exitCodeIn(numbers, code);
  if (file_) {
    const std::string text = now_() + "  Outcome: " + outcomeText(code) + "\n" + now_() +
                             "  Exit code: " + std::to_string(exitCode) + "\n";
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fclose(std::exchange(file_, nullptr));
  }
  return exitCode;
}

std::string outcomeText(int code) {
  switch (code) {
    case kCompleted:
      return "completed";
    case kDeclined:
      return "the agreement was declined, or the install cancelled";
    case kStageFailed:
      return "finished, but a stage reported a failure";
    case kEndedEarly:
      return "the install did not reach its end";
    case kBusy:
      return "another installer is running; nothing was changed";
    case kDamaged:
      return "the installer folder is damaged; nothing was changed";
    case kBadInput:
      return "bad command line or answer file; nothing was changed";
    default:
      return "ended with code " + std::to_string(code);
  }
}

}  // namespace pm::unattended
