// The machine the install-logic tests run on, as the Linux build chooses it: a
// machine folder in a fresh temporary folder (testMachine.h), with the real
// file system, registry store, data sources and Program Manager over it. The
// Windows build has its own (platform/win32/testing/machineUnderTest.h).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/odbcDataSources.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/programManager.h"
#include "platform/posix/testMachine.h"
#include "platform/posix/unixOdbc.h"

namespace pm::testing {

struct MachineUnderTest {
  // The host path of one of the machine's Windows paths.
  std::filesystem::path host(const std::string& windowsPath) const {
    return temp.machine.toHost(windowsPath);
  }
  // Makes HKEY_CURRENT_USER unreadable (a store file that is not one); the
  // host path of that file.
  std::filesystem::path spoilRegistry() {
    const auto file = temp.machine.registryFile("HKEY_CURRENT_USER");
    writeFile(file, "no registry\r\n[");
    return file;
  }
  // The Program Manager of the machine, as a DDE server; its groups' items as
  // "title=command line", by title.
  std::unique_ptr<DdeServer> ownProgramManager() const {
    return std::make_unique<posix::ProgramManager>(temp.machine);
  }
  std::vector<std::string> groupItems(const std::string& group) const {
    std::vector<std::string> items;
    for (const auto& item : posix::ProgramManager(temp.machine).items(group))
      items.push_back(item.title + "=" + item.commandLine);
    return items;
  }

  // A SQLite database file, made when missing, through the driver that stands
  // in for the Access driver (posix/odbcDataSources.h); false without it.
  static bool hasSqliteDriver() { return !posix::OdbcDataSources::findSqliteDriver().empty(); }
  static std::unique_ptr<DataSession> openSqlite(const std::filesystem::path& file) {
    return posix::connectUnixOdbc("Driver=" + posix::OdbcDataSources::findSqliteDriver().string() +
                                  ";Database=" + file.string() + ";");
  }

  posix::TempMachine temp;
  posix::PosixFileSystem fs{temp.machine};
  posix::PosixRegistryStore registryStore{temp.machine};
  // The data sources registered in registryStore.
  posix::OdbcDataSources registeredSources{temp.machine, registryStore};
};

// The machine's own file system, for a test to change one answer of it.
struct MachineFileSystem : posix::PosixFileSystem {
  explicit MachineFileSystem(const MachineUnderTest& m) : PosixFileSystem(m.temp.machine) {}
};

}  // namespace pm::testing
