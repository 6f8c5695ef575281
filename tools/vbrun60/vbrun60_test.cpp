// VBRun60 as the library stage runs it, on a temporary machine.
#include <gtest/gtest.h>

#include "platform/posix/machine.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/process.h"
#include "tools/testing/toolRun.h"
#include "tools/vbrun60/vbrun60.h"

namespace pm::vbrun60 {
namespace {

using namespace pm::tooltest;

class VBRun60Test : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(machineDir());
    machine_.emplace(machineDir());
    fs::create_directories(setup());
  }
  fs::path machineDir() const { return root_ / "machine"; }
  fs::path system32() const { return machineDir() / "drive_c" / "windows" / "system32"; }
  fs::path setup() const { return machineDir() / "drive_c" / "Setup"; }
  std::vector<std::string> env() const {
    return {"PMSETUP_MACHINE=" + machineDir().string(), "TZ=Europe/Berlin"};
  }

  // Runs a Windows command line the way the installer does.
  ToolRun command(const std::string& cmdline) {
    std::vector<std::string> argv = splitWindowsCommandLine(cmdline);
    const fs::path program = buildBin() / argv.front();
    argv.erase(argv.begin());
    return runTool(program, argv, setup(), env());
  }
  bool registered(const std::string& name) {
    posix::PosixRegistryStore store(*machine_);
    auto v = store.keyExists(RootKey::ClassesRoot, "PMSetup\\Registered\\" + name);
    return v.ok() && v.value();
  }

  TempDir root_;
  std::optional<posix::Machine> machine_;
};

TEST_F(VBRun60Test, AFreshMachineGetsTheRuntimeAndTheTemporaryFolderIsGoneAgain) {
  const ToolRun r = command("VBRun60 /Q /T:\"C:\\Setup\\PMUpTemp\"");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  std::tm tm{};
  tm.tm_year = 104, tm.tm_mon = 1, tm.tm_mday = 22, tm.tm_hour = 12, tm.tm_isdst = -1;
  const std::time_t stamp = std::mktime(&tm);
  for (const RuntimeFile& f : runtimeFiles()) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(readFile(system32() / f.name), standInContent(f));
    EXPECT_EQ(mtimeOf(system32() / f.name), stamp);
    EXPECT_EQ(registered(f.name), f.selfRegistering);
  }
  EXPECT_NE(readFile(system32() / "msvbvm60.dll").find("stand-in"), std::string::npos);
  // The library stage reports an old temporary folder when it finds one: none is left.
  EXPECT_FALSE(fs::exists(setup() / "PMUpTemp"));
  // The scripting runtime that every install registers is now there to register.
  EXPECT_EQ(command("regsvr32 /s scrrun.dll").code, 0);
}

TEST_F(VBRun60Test, WhatIsAlreadyThereIsKept) {
  writeFile(system32() / "OLEAUT32.DLL", "the real one");
  writeFile(setup() / "PMUpTemp" / "Pelmora.CAB", "cabinet");
  const ToolRun r = command("VBRun60 /T:\"C:\\Setup\\PMUpTemp\"");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("oleaut32.dll is already in"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(system32() / "OLEAUT32.DLL"), "the real one");
  EXPECT_FALSE(fs::exists(system32() / "oleaut32.dll"));
  EXPECT_FALSE(registered("oleaut32.dll"));
  EXPECT_TRUE(registered("msvbvm60.dll"));
  EXPECT_EQ(treeOf(setup() / "PMUpTemp"), std::vector<std::string>{"Pelmora.CAB"});
  // A second run changes nothing.
  const auto before = treeOf(machineDir() / "drive_c");
  EXPECT_EQ(command("VBRun60 /Q /T:\"C:\\Setup\\PMUpTemp\"").code, 0);
  EXPECT_EQ(treeOf(machineDir() / "drive_c"), before);
}

TEST_F(VBRun60Test, ACommandLineItDoesNotKnowPlacesNothing) {
  for (const char* cmdline : {"VBRun60 /Q /X", "VBRun60 /T:", "VBRun60 \"\""}) {
    EXPECT_EQ(command(cmdline).code, 1) << cmdline;
  }
  EXPECT_TRUE(fs::is_empty(system32()));
}

}  // namespace
}  // namespace pm::vbrun60
