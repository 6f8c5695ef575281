// The Linux platform services for one machine and installer folder, built
// together. makePlatform() builds them for the machine of $PMSETUP_MACHINE and
// the folder of the running executable:
//
//   pm::posix::PosixServices platform(pm::posix::Machine::fromEnvironment(),
//                                     pm::posix::executableFolder());
//   ... platform.fs, platform.clock, platform.processes, platform.registry,
//       platform.dataSources, platform.dde (with the Program Manager answering),
//       platform.lock, platform.installerFolder (the installer folder's
//       Windows name), or all of them as platform.services()
#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "platform/ddeLinks.h"
#include "platform/posix/machine.h"
#include "platform/posix/odbcDataSources.h"
#include "platform/posix/posixClock.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixInstallLock.h"
#include "platform/posix/posixProcessRunner.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/programManager.h"
#include "platform/services.h"

namespace pm::posix {

struct PosixServices : Platform {
  PosixServices(Machine machineIn, const std::filesystem::path& installerHostFolder)
      : machine(std::move(machineIn)),
        fs(machine),
        processes(machine, installerHostFolder),
        registry(machine),
        dataSources(machine, registry),
        programManager(machine),
        lock(machine),
        installerFolder(machine.toWindows(installerHostFolder)) {
    dde.registerServer(ProgramManager::kService, programManager);
    // The installer reads the user's store late, after running other programs:
    // a large store is scanned meanwhile. (The classes store is changed by the
    // registration programs it runs first: a scan of it now would be wasted.)
    registry.readAhead(RootKey::CurrentUser);
  }
  PosixServices(const PosixServices&) = delete;
  PosixServices& operator=(const PosixServices&) = delete;

  MachineServices services() override {
    return {fs, clock, processes, registry, dataSources, dde, installerFolder};
  }
  InstallLock& installLock() override { return lock; }
  void planOnly() override;
  // The SQLite ODBC driver on the file, without a data source.
  std::unique_ptr<DataSession> openDatabaseFile(const std::string& file,
                                                const std::string& connectionString) override;

  Machine machine;
  PosixFileSystem fs;
  PosixClock clock;
  PosixProcessRunner processes;
  PosixRegistryStore registry;
  OdbcDataSources dataSources;
  InProcessDde dde;
  ProgramManager programManager;  // the DDE server "PROGMAN"
  PosixInstallLock lock;          // taken by the front end before anything changes
  // The installer folder as a Windows path, without a trailing separator.
  std::string installerFolder;
};

}  // namespace pm::posix
