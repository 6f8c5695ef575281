// A machine for testing the install window end to end without a screen: the
// real file system and registry store over a temporary machine folder, a clock
// that keeps milliseconds and jumps forward when asked to sleep, a process
// runner that records the programs it starts, and the scripted toolkit.
#pragma once

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "install/installWindow.h"
#include "platform/ddeLinks.h"
#include "platform/posix/machine.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixRegistryStore.h"
#include "tests/fakeToolkit.h"

namespace pm::testing {

// Local time in milliseconds; now() truncates to the second. sleepUntil jumps to
// the requested second and counts the calls, so a test sees both how long a wait
// lasted and that it slept rather than spun.
class SteppingClock : public Clock {
 public:
  DateTime now() override { return DateTime{millis / 1000}; }
  void sleepUntil(DateTime when) override {
    ++sleeps;
    if (when.seconds * 1000 > millis) millis = when.seconds * 1000;
  }
  std::string shortDate(const CivilDate& d) override {
    return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
  }
  std::int64_t millis = DateTime::fromCivil(2026, 12, 6, 10, 0, 0).seconds * 1000;
  int sleeps = 0;
};

class RecordingRunner : public ProcessRunner {
 public:
  std::int32_t runAndWait(const std::string& cmdline) override {
    if (onRun) onRun(cmdline);
    return 0;
  }
  Status start(const std::string& cmdline) override {
    started.push_back(cmdline);
    return startResult;
  }
  std::vector<std::string> started;
  std::function<void(const std::string&)> onRun;
  Status startResult;
};

class ReadyDataSources : public DataSources {
 public:
  Status prepare() override { return {}; }
};

struct WindowTestRig {
  WindowTestRig()
      : root(std::filesystem::temp_directory_path() /
             ("pmwindow-" + std::to_string(std::random_device{}()))),
        machine(root),
        fs(machine),
        registryStore(machine),
        services{fs, clock, processes, registryStore, dataSources, dde, toolkit, "C:\\setup"} {
    std::filesystem::create_directories(host(services.installerFolder));
  }
  ~WindowTestRig() {
    std::error_code ignored;
    std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (auto& e : std::filesystem::recursive_directory_iterator(root, ignored)) {
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(root, ignored);
  }
  std::filesystem::path host(const std::string& windowsPath) const {
    return machine.toHost(windowsPath);
  }

  std::filesystem::path root;
  posix::Machine machine;
  posix::PosixFileSystem fs;
  posix::PosixRegistryStore registryStore;
  SteppingClock clock;
  RecordingRunner processes;
  ReadyDataSources dataSources;
  InProcessDde dde;
  FakeToolkit toolkit;
  Services services;
};

}  // namespace pm::testing
