#include "unattended/win32/quietRun.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <ostream>
#include <streambuf>

#include "platform/services.h"
#include "platform/win32/wideText.h"
#include "unattended/outcome.h"
#include "unattended/runLog.h"
#include "unattended/unattendedRun.h"

namespace pm::unattended::win32 {

namespace {

// Writes to a C runtime file descriptor: the report's own copy of stdout.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd) : fd_(fd) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::streamsize done = 0;
    while (done < n) {
      const int w = _write(fd_, s + done, static_cast<unsigned>(n - done));
      if (w <= 0) break;
      done += w;
    }
    return done;
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
  RunLog log(args);
  if (auto ended = prepare(args, options, answers)) return log.finish(*ended, kNumbers);

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
  FdBuffer reportBuffer(reportFd);
  std::ostream report(reportFd >= 0 ? &reportBuffer : nullptr);

  return log.finish(install(options, answers, *pm::makePlatform(), log.tee(report)), kNumbers);
}

}  // namespace pm::unattended::win32
