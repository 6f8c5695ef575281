// VBRun60 as the library stage runs it, on a temporary machine, for what the
// end-to-end roads do not reach: a system file already there is never replaced.
#include <gtest/gtest.h>

#include "platform/posix/posixRegistryStore.h"
#include "platform/process.h"
#include "tools/testing/toolRun.h"

namespace pm::vbrun60 {
namespace {

using namespace pm::tooltest;

TEST(VBRun60Test, WhatIsAlreadyThereIsKept) {
  posix::TempMachine temp;
  const fs::path drive = temp.machine.root() / "drive_c", system32 = drive / "windows/system32";
  fs::create_directories(drive / "Setup");
  // Runs a Windows command line the way the installer does.
  const auto command = [&](const std::string& cmdline) {
    std::vector<std::string> argv = splitWindowsCommandLine(cmdline);
    const fs::path program = buildBin() / argv.front();
    argv.erase(argv.begin());
    return runTool(program, argv, drive / "Setup",
                   {"PMSETUP_MACHINE=" + temp.machine.root().string()});
  };
  writeFile(system32 / "OLEAUT32.DLL", "the real one");
  writeFile(drive / "Setup" / "PMUpTemp" / "Pelmora.CAB", "cabinet");
  const ToolRun r = command("VBRun60 /T:\"C:\\Setup\\PMUpTemp\"");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("oleaut32.dll is already in"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(system32 / "oleaut32.dll"));
  EXPECT_EQ(readFile(system32 / "OLEAUT32.DLL"), "the real one");
  EXPECT_FALSE(posix::PosixRegistryStore(temp.machine)
                   .keyExists(RootKey::ClassesRoot, "PMSetup\\Registered\\oleaut32.dll")
                   .value());
  EXPECT_EQ(treeOf(drive / "Setup" / "PMUpTemp"), std::vector<std::string>{"Pelmora.CAB"});
  // A second run changes nothing.
  const auto before = treeOf(drive);
  EXPECT_EQ(command("VBRun60 /Q /T:\"C:\\Setup\\PMUpTemp\"").code, 0);
  EXPECT_EQ(treeOf(drive), before);
}

}  // namespace
}  // namespace pm::vbrun60
