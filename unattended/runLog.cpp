#include "unattended/runLog.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <streambuf>

#include "unattended/commandLine.h"
#include "unattended/outcome.h"

namespace pm::unattended {

// Passes everything on to `next` and to the log, where each line starts with
// its time.
class RunLog::Tee : public std::streambuf {
 public:
  Tee(std::streambuf* next, RunLog& log) : next_(next), log_(log) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    if (next_) next_->sputc(ch);
    if (log_.file_.is_open()) {
      if (lineStart_) log_.file_ << log_.now_() << "  ";
      log_.file_.put(ch);
      lineStart_ = ch == '\n';
      if (lineStart_) log_.file_.flush();
    }
    return c;
  }
  int sync() override { return next_ ? next_->pubsync() : 0; }

 private:
  std::streambuf* next_;
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

RunLog::RunLog(const std::vector<std::string>& args, Now now) : now_(std::move(now)) {
  const std::string path = logFileOf(args);
  if (path.empty()) return;
  // The name is UTF-8 text: on Windows it is opened by its UTF-16 name.
  file_.open(std::filesystem::path(std::u8string(path.begin(), path.end())),
             std::ios::binary | std::ios::trunc);
  if (!file_) {
    std::cerr << "PMSetup: cannot write the log " << path << std::endl;
    return;
  }
  errTee_ = std::make_unique<Tee>(std::cerr.rdbuf(), *this);
  savedErr_ = std::cerr.rdbuf(errTee_.get());
}

RunLog::~RunLog() {
  if (savedErr_) std::cerr.rdbuf(savedErr_);
}

std::ostream& RunLog::tee(std::ostream& out) {
  if (!file_.is_open()) return out;
  outTee_ = std::make_unique<Tee>(out.rdbuf(), *this);
  out_ = std::make_unique<std::ostream>(outTee_.get());
  return *out_;
}

int RunLog::finish(int code, ExitNumbers numbers) {
  const int exitCode = exitCodeIn(numbers, code);
  if (savedErr_) {
    std::cerr.flush();
    std::cerr.rdbuf(savedErr_);
    savedErr_ = nullptr;
  }
  if (file_.is_open()) {
    if (out_) out_->flush();
    file_ << now_() << "  Outcome: " << outcomeText(code) << "\n"
          << now_() << "  Exit code: " << exitCode << "\n";
    file_.close();
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
