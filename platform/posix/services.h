// The Linux platform services for one machine and installer folder, built
// together: what the composition root hands to the install window.
//
//   pm::posix::PosixServices platform(pm::posix::Machine::fromEnvironment(),
//                                     pm::posix::executableFolder());
//   ... platform.fs, platform.clock, platform.processes, platform.registry,
//       platform.installerFolder (the installer folder's Windows name)
#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "platform/posix/machine.h"
#include "platform/posix/posixClock.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixProcessRunner.h"
#include "platform/posix/posixRegistryStore.h"

namespace pm::posix {

struct PosixServices {
  PosixServices(Machine machineIn, const std::filesystem::path& installerHostFolder)
      : machine(std::move(machineIn)),
        fs(machine),
        processes(machine, installerHostFolder),
        registry(machine),
        installerFolder(machine.toWindows(installerHostFolder)) {}

  Machine machine;
  PosixFileSystem fs;
  PosixClock clock;
  PosixProcessRunner processes;
  PosixRegistryStore registry;
  // The installer folder as a Windows path, without a trailing separator.
  std::string installerFolder;
};

}  // namespace pm::posix
