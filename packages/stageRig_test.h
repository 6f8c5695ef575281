// A machine folder and an installer folder in a temporary directory, with the
// real file system, process runner, registry store and tools (Cabarc, regsvr32,
// VBRun60 from the build), for running one file-installing stage at a time.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/datasources.h"
#include "platform/ddeLinks.h"
#include "platform/posix/posixClock.h"
#include "platform/posix/posixFileSystem.h"
#include "platform/posix/posixProcessRunner.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/programManager.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeInstallWindow.h"
#include "tests/fakeToolkit.h"

namespace pm::testing {

namespace stdfs = std::filesystem;

struct NoDataSources : DataSources {
  Status prepare() override { return {}; }
};

// One member of a cabinet made for a test: its content and modification time.
struct Member {
  std::string content;
  DateTime time = DateTime::fromCivil(2020, 6, 1, 12, 0, 0);
};
using Members = std::map<std::string, Member>;

class StageRig : public ::testing::Test {
 protected:
  StageRig() {
    stdfs::create_directories(host(appFolder));
    stdfs::create_directories(host("C:\\setup"));
    // The tools of the same build: $PM_BUILD_BIN under CTest, else <build>/bin.
    const char* bin = std::getenv("PM_BUILD_BIN");
    const stdfs::path binFolder = bin ? stdfs::path(bin) : posix::executableFolder() / ".." / "bin";
    for (const char* tool : {"Cabarc", "regsvr32", "VBRun60"})
      stdfs::create_symlink(binFolder / tool, host("C:\\setup") / tool);
    dde.registerServer(posix::ProgramManager::kService, progman);
    frm.ddeLink = &link;
    frm.state().appFolder = appFolder;
    frm.state().tempFolder = temp;
  }
  ~StageRig() override { stdfs::current_path(cwd_); }

  stdfs::path host(const std::string& windowsPath) const { return m.machine.toHost(windowsPath); }

  // Writes a file (and its folder) with a modification time.
  void put(const std::string& path, const Member& member) {
    stdfs::create_directories(host(path).parent_path());
    std::ofstream(host(path), std::ios::binary) << member.content;
    ASSERT_TRUE(fs.setModificationTime(path, member.time));
  }
  std::string text(const std::string& path) {
    auto t = fs.readText(path);
    return t ? t.value() : "<missing>";
  }

  // Builds a cabinet in the installer folder with gcab, an independent archiver;
  // with `inTemp`, puts its copy where the library stage leaves it.
  void cabinet(const std::string& name, const Members& members, bool inTemp = false) {
    const stdfs::path staging = m.folder / ("staging-" + name);
    std::string command = "gcab -c -n '" + host("C:\\setup\\" + name).string() + "'";
    for (const auto& [file, member] : members) {
      put(m.machine.toWindows(staging / file), member);
      command += " '" + (staging / file).string() + "'";
    }
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    if (!inTemp) return;
    stdfs::create_directories(host(temp));
    stdfs::copy_file(host("C:\\setup\\" + name), host(temp + "\\" + name));
  }

  bool ran(const std::string& cmdline) const {
    return std::find(frm.commands.begin(), frm.commands.end(), cmdline) != frm.commands.end();
  }

  const std::string appFolder = "C:\\Program Files\\Pelmora";
  const std::string temp = "C:\\setup\\PMUpTemp";

 private:
  stdfs::path cwd_ = stdfs::current_path();
  posix::TempMachine m;

 public:
  posix::PosixFileSystem fs{m.machine};
  posix::PosixClock clock;
  posix::PosixProcessRunner runner{m.machine, host("C:\\setup")};
  posix::PosixRegistryStore registry{m.machine};
  NoDataSources dataSources;
  InProcessDde dde;
  posix::ProgramManager progman{m.machine};
  FakeToolkit toolkit;
  Services services{fs, clock, runner, registry, dataSources, dde, toolkit, "C:\\setup"};
  FakeInstallWindow frm{services};
  LabelDdeLink link{dde};
};

}  // namespace pm::testing
