// The machine the install-logic tests run on, as the Linux build chooses it: a
// machine folder in a fresh temporary folder (testMachine.h), with the real
// file system and registry store over it. The Windows build has its own
// (platform/win32/testing/machineUnderTest.h).
#pragma once

#include <filesystem>
#include <string>

#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"

namespace pm::testing {

struct MachineUnderTest {
  // The host path of one of the machine's Windows paths.
  std::filesystem::path host(const std::string& windowsPath) const {
    return temp.machine.toHost(windowsPath);
  }
  // Makes HKEY_CURRENT_USER unreadable (a store file that is not one).
  bool spoilRegistry() {
    writeFile(temp.machine.registryFile("HKEY_CURRENT_USER"), "no registry\r\n[");
    return true;
  }

  posix::TempMachine temp;
  posix::PosixFileSystem fs{temp.machine};
  posix::PosixRegistryStore registryStore{temp.machine};
};

}  // namespace pm::testing
