#include "unattended/win32/quietRun.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/services.h"
#include "platform/win32/wideText.h"
#include "unattended/outcome.h"
#include "unattended/runLog.h"
#include "unattended/unattendedRun.h"

namespace pm::unattended::win32 {

namespace {

// Writes to a C runtime file descriptor (-1: nowhere): the report's own copy of stdout.
class FdOut : public TextWriter {
 public:
  explicit FdOut(int fd) : fd_(fd) {}
  void write(std::string_view text) override {
    while (fd_ >= 0 && !text.empty()) {
      const int w = _write(fd_, text.data(), static_cast<unsigned>(text.size()));
      if (w <= 0) break;
      text.remove_prefix(static_cast<std::size_t>(w));
    }
  }

 private:
  int fd_;
};

std::string ansiText(std::string_view bytes) {
  return pm::win32::ansiToUtf8(bytes);
}

}  // namespace

std::vector<std::string> commandArguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) args.push_back(pm::win32::narrow(wide[i]));
  if (wide) LocalFree(wide);
  return args;
}

int runWithoutWindows(const std::vector<std::string>& args, Program program) {
  constexpr ExitNumbers kNumbers = ExitNumbers::WindowsInstaller;
  Options options;
  options.program = program;
  options.ansi = ansiText;
  options.numbers = kNumbers;
  Answers answers;
  FileOut out(stdout), err(stderr);
  RunLog log(args, err);
  if (auto ended = prepare(args, options, answers, out, log.notes()))
    return log.finish(*ended, kNumbers);

  // stdout carries the report alone: the outside tools that the stages run
  // inherit the standard output handle, so it is pointed at stderr for them
  // and the report keeps a copy of the real one. Lines end as on Linux (LF).
  // A window program may have no standard handles at all: the report then
  // goes to the log alone.
  std::fflush(stdout);
  const int outFd = _fileno(stdout);
  const int errFd = _fileno(stderr);
  const int reportFd = outFd >= 0 && errFd >= 0 ? _dup(outFd) : -1;
  if (reportFd >= 0 && (_dup2(errFd, outFd) < 0 ||
                        !SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE)))) {
    std::perror("PMSetupUnattended: cannot set up the output");
    return log.finish(kEndedEarly, kNumbers);
  }
  if (reportFd >= 0) _setmode(reportFd, _O_BINARY);
  if (errFd >= 0) _setmode(errFd, _O_BINARY);
  FdOut report(reportFd);
  return log.finish(install(options, answers, *pm::makePlatform(), log.tee(report), log.notes()),
                    kNumbers);
}

}  // namespace pm::unattended::win32
