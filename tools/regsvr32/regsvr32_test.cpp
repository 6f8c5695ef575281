// regsvr32 as the installer runs it, a real process on a temporary machine, for
// what the end-to-end roads do not reach: a library that is not there and
// command lines it does not know change nothing.
#include <gtest/gtest.h>

#include "tools/testing/toolRun.h"

namespace pm::regsvr32 {
namespace {

using namespace pm::tooltest;

TEST(Regsvr32Test, AMissingLibraryOrABadCommandLineChangesNothing) {
  posix::TempMachine temp;
  const fs::path setup = temp.machine.root() / "drive_c" / "Setup";
  const auto regsvr32 = [&](const std::vector<std::string>& args) {
    return runTool(buildBin() / "regsvr32", args, setup,
                   {"PMSETUP_MACHINE=" + temp.machine.root().string()});
  };
  const fs::path hkcr = temp.machine.registryFile("HKEY_CLASSES_ROOT");
  const std::string before =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\x]\r\n\"a\"=\"b\"\r\n";
  writeFile(hkcr, before);
  writeFile(temp.machine.root() / "drive_c" / "windows" / "system32" / "there.dll", "x");
  fs::create_directories(setup);

  const ToolRun missing = regsvr32({"/s", "scrrun.dll"});
  EXPECT_EQ(missing.code, 3);
  EXPECT_NE(missing.err.find("scrrun.dll"), std::string::npos);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/s"}, {"/u", "there.dll"}, {"/x", "there.dll"}, {}}) {
    EXPECT_EQ(regsvr32(args).code, 1);
  }
  // A name with a folder part is taken as it is, not searched for.
  EXPECT_EQ(regsvr32({"/s", "C:\\elsewhere\\there.dll"}).code, 3);
  EXPECT_EQ(readFile(hkcr), before);
}

}  // namespace
}  // namespace pm::regsvr32
