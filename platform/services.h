// The operating-system services of one machine, as an install uses them: one
// description for every platform. The build chooses the platform, and that
// platform's makePlatform() (platform/posix/services.h on Linux,
// platform/win32/services.h on Windows) builds its services for the machine
// this program runs on and the folder of its executable.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/datasources.h"
#include "platform/dde.h"
#include "platform/filesystem.h"
#include "platform/installLock.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace pm {

struct MachineServices {
  FileSystem& fs;
  Clock& clock;
  ProcessRunner& processes;
  RegistryStore& registryStore;
  DataSources& dataSources;
  DdeSystem& dde;
  // The folder the installer was started from (the executable's folder), as a
  // Windows path without a trailing separator.
  std::string installerFolder;
};

// The services of this machine, and what implements them.
class Platform {
 public:
  virtual ~Platform() = default;
  virtual MachineServices services() = 0;
  // Taken by a front end before anything changes (platform/installLock.h).
  virtual InstallLock& installLock() = 0;
  // A plan runs on these services (platform/recording.h): from now on they keep
  // no record of their temporary files in the machine and clear none, and
  // nothing is made for a lock that leaves a file the machine did not hold.
  virtual void planOnly() = 0;
  // Opens a database file (`file`, a real path that a plan owns) through this
  // platform's driver; `connectionString` is the one the install would use.
  // With `file` empty, the data source of `connectionString` as the machine
  // holds it, where the platform can open one without changing the machine
  // (the caller then only reads). Raises pm::Error as DataSources::connect does.
  virtual std::unique_ptr<DataSession> openDatabaseFile(const std::string& file,
                                                        const std::string& connectionString) = 0;
};

// The platform the build chose, for this machine and this program's folder.
std::unique_ptr<Platform> makePlatform();

}  // namespace pm
