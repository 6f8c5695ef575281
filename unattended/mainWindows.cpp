// PMSetupUnattended for Windows: the same program as on Linux (see main.cpp),
// on the machine it runs on: the real registry, system folder, Program Manager
// and ODBC data sources. The answer file may be named with a Windows path.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/services.h"
#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "unattended/outcome.h"
#include "unattended/unattendedRun.h"

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

// The command line's arguments as UTF-8, whatever the ANSI code page.
std::vector<std::string> arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) args.push_back(pm::win32::narrow(wide[i]));
  if (wide) LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  // No library is taken from the installer folder (often a downloads folder).
  pm::win32::restrictDllSearch();
  namespace u = pm::unattended;
  u::Options options;
  u::Answers answers;
  if (auto ended = u::prepare(arguments(), options, answers)) return *ended;

  // stdout carries the report alone: the outside tools that the stages run
  // inherit the standard output handle, so it is pointed at stderr for them
  // and the report keeps a copy of the real one. Lines end as on Linux (LF).
  std::fflush(stdout);
  const int reportFd = _dup(_fileno(stdout));
  if (reportFd < 0 || _dup2(_fileno(stderr), _fileno(stdout)) < 0 ||
      !SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE))) {
    std::perror("PMSetupUnattended: cannot set up the output");
    return u::kEndedEarly;
  }
  _setmode(reportFd, _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  FdBuffer reportBuffer(reportFd);
  std::ostream report(&reportBuffer);

  return u::install(options, answers, *pm::makePlatform(), report);
}
