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
  fs::path drive() const { return root_ / "machine" / "drive_c"; }
  fs::path system32() const { return drive() / "windows" / "system32"; }

  // Runs a Windows command line the way the installer does.
  ToolRun command(const std::string& cmdline) {
    std::vector<std::string> argv = splitWindowsCommandLine(cmdline);
    const fs::path program = buildBin() / argv.front();
    argv.erase(argv.begin());
    fs::create_directories(drive() / "Setup");
    return runTool(program, argv, drive() / "Setup",
                   {"PMSETUP_MACHINE=" + (root_ / "machine").string(), "TZ=Europe/Berlin"});
  }
  bool registered(const std::string& name) {
    auto v = posix::PosixRegistryStore(machine_).keyExists(RootKey::ClassesRoot,
                                                           "PMSetup\\Registered\\" + name);
    return v.ok() && v.value();
  }

  TempDir root_;
  posix::Machine machine_{(fs::create_directories(root_ / "machine"), root_ / "machine")};
};

TEST_F(VBRun60Test, AFreshMachineGetsTheRuntimeAndTheTemporaryFolderIsGoneAgain) {
  const ToolRun r = command("VBRun60 /Q /T:\"C:\\Setup\\PMUpTemp\"");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  for (const RuntimeFile& f : runtimeFiles()) {
    EXPECT_EQ(readFile(system32() / f.name), standInContent(f)) << f.name;
    EXPECT_EQ(registered(f.name), f.selfRegistering) << f.name;
  }
  // 2004-02-22 12:00 in Berlin.
  EXPECT_EQ(mtimeOf(system32() / "msvbvm60.dll"), 1077447600);
  EXPECT_FALSE(fs::exists(drive() / "Setup" / "PMUpTemp"));
  // The scripting runtime that every install registers is now there to register.
  EXPECT_EQ(command("regsvr32 /s scrrun.dll").code, 0);
}

TEST_F(VBRun60Test, WhatIsAlreadyThereIsKeptAndUnknownCommandLinesPlaceNothing) {
  for (const char* cmdline : {"VBRun60 /Q /X", "VBRun60 /T:", "VBRun60 \"\""})
    EXPECT_EQ(command(cmdline).code, 1) << cmdline;
  EXPECT_FALSE(fs::exists(system32()) && !fs::is_empty(system32()));

  writeFile(system32() / "OLEAUT32.DLL", "the real one");
  writeFile(drive() / "Setup" / "PMUpTemp" / "Pelmora.CAB", "cabinet");
  const ToolRun r = command("VBRun60 /T:\"C:\\Setup\\PMUpTemp\"");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("oleaut32.dll is already in"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(system32() / "oleaut32.dll"));
  EXPECT_EQ(readFile(system32() / "OLEAUT32.DLL"), "the real one");
  EXPECT_FALSE(registered("oleaut32.dll"));
  EXPECT_EQ(treeOf(drive() / "Setup" / "PMUpTemp"), std::vector<std::string>{"Pelmora.CAB"});
  // A second run changes nothing.
  const auto before = treeOf(drive());
  EXPECT_EQ(command("VBRun60 /Q /T:\"C:\\Setup\\PMUpTemp\"").code, 0);
  EXPECT_EQ(treeOf(drive()), before);
}

}  // namespace
}  // namespace pm::vbrun60
