// Outside programs through CreateProcessW, on the Windows command line as
// given. Where a program comes from is decided here, never by the system's
// search (which looks in the current folder and on PATH, places others can
// write):
//   - the installer's own tools (Cabarc, VBRun60) from the installer folder;
//   - any other program named without a folder (regsvr32) from the system
//     folder (GetSystemDirectoryW: system32, or syswow64 for a 32-bit program
//     on 64-bit Windows);
//   - a program named with its folder from there.
// ".exe" is added to a name without an extension. A program that is not where
// it must be is not started (-1).
//
// Every program is started with handle inheritance, the normal priority class
// and this process's standard handles (a console tool's messages go to the
// standard error its caller was given). A process without a console of its own
// to share (the window program) adds CREATE_NO_WINDOW, so no console window
// opens for a console tool. runAndWait() waits and returns the exit code, -1
// when the program could not start; start() launches the application minimised
// with the focus and does not wait.
#pragma once

#include <string>

#include "platform/process.h"

namespace pm::win32 {

// Where a program named on a command line is taken from (see above): the
// full path, or a failure that names the program.
Result<std::string> programPath(const std::string& program, const std::string& installerFolder,
                                const std::string& systemFolder);

class Win32ProcessRunner : public ProcessRunner {
 public:
  explicit Win32ProcessRunner(std::string installerFolder)
      : installerFolder_(std::move(installerFolder)) {}

  std::int32_t runAndWait(const std::string& cmdline) override;
  Status start(const std::string& cmdline) override;

 private:
  // Starts the program; its process handle, or a failure.
  Result<void*> launch(const std::string& cmdline, bool minimisedWithFocus);

  std::string installerFolder_;
};

}  // namespace pm::win32
