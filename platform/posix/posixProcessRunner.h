// Outside programs on this platform: a Windows command line, split by the
// Windows rules, started with posix_spawn (never through a shell).
//
// The program is the first argument. When it holds a separator or a drive it is
// a path and maps through the Machine; otherwise it is looked for in the
// installer folder first, then in the folders of PATH. In each place the name is
// tried as given, then (ignoring letter case) without an ".exe" ending, or with
// one added, so "VBRun60" and "regsvr32.exe" find the programs shipped as
// "VBRun60" and "regsvr32". The program inherits the working folder and the
// environment, plus PMSETUP_MACHINE naming this machine, so that the tools work
// on the same machine folder as the installer.
//
// runAndWait() returns the exit code; -1 when the program could not be found or
// started; 128 + the signal number when a signal ended it (as a shell reports it).
// start() does not wait: a detached thread reaps the program when it ends, so it
// never lingers as a zombie.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "platform/process.h"

namespace pm::posix {

class PosixProcessRunner : public ProcessRunner {
 public:
  PosixProcessRunner(Machine machine, std::filesystem::path installerFolder);

  std::int32_t runAndWait(const std::string& cmdline) override;
  Status start(const std::string& cmdline) override;

  // The executable that a program name stands for, or nothing when there is none.
  std::optional<std::filesystem::path> findProgram(const std::string& name) const;

 private:
  // Spawns the program; the pid, or a failure message.
  Result<int> spawn(const std::string& cmdline);

  Machine machine_;
  std::filesystem::path installerFolder_;
};

}  // namespace pm::posix
