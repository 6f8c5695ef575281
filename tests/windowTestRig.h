// A machine for testing the install window end to end without a screen: the
// machine under test that the build chooses (the real file system and registry
// store over a temporary machine folder on Linux, over a private registry root
// on Windows: machineUnderTest.h of platform/posix/testing or
// platform/win32/testing) with an installer folder C:\setup, the fake clock and
// process runner, and the scripted toolkit.
#pragma once

#include <filesystem>
#include <string>

#include "install/installWindow.h"
#include "machineUnderTest.h"
#include "platform/ddeLinks.h"
#include "tests/fakeClock.h"
#include "tests/fakeProcessRunner.h"
#include "tests/fakeToolkit.h"

namespace pm::testing {

// No data source is registered: a connection fails as the driver manager's does.
class ReadyDataSources : public DataSources {
 public:
  Status prepare() override { return {}; }
  std::unique_ptr<DataSession> connect(const std::string&) override {
    throw driverError("[ODBC Driver Manager]Data source name not found", "IM002", 0, "");
  }
};

struct WindowTestRig : MachineUnderTest {
  WindowTestRig() { std::filesystem::create_directories(host(services.installerFolder)); }

  FakeClock clock;
  FakeProcessRunner processes;
  ReadyDataSources dataSources;
  InProcessDde dde;
  FakeToolkit toolkit;
  Services services{{fs, clock, processes, registryStore, dataSources, dde, "C:\\setup"}, toolkit};
};

}  // namespace pm::testing
