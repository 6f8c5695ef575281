// Outside programs through CreateProcessW, on the Windows command line as
// given. A program named without a folder is looked for in the installer
// folder first (as itself, then with ".exe"); otherwise CreateProcessW's own
// search applies. runAndWait() waits and returns the exit code, -1 when the
// program could not start; start() launches the application minimised with the
// focus and does not wait.
#pragma once

#include <string>

#include "platform/process.h"

namespace pm::win32 {

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
