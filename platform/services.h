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
};

// The platform the build chose, for this machine and this program's folder.
std::unique_ptr<Platform> makePlatform();

}  // namespace pm
