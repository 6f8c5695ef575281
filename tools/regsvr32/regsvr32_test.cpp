// regsvr32 as the installer runs it: a real process on a temporary machine.
#include <gtest/gtest.h>

#include "platform/posix/machine.h"
#include "platform/posix/posixRegistryStore.h"
#include "tools/regsvr32/regsvr32.h"
#include "tools/testing/toolRun.h"

namespace pm::regsvr32 {
namespace {

using namespace pm::tooltest;

class Regsvr32Test : public ::testing::Test {
 protected:
  fs::path drive() const { return root_ / "machine" / "drive_c"; }
  fs::path system32() const { return drive() / "windows" / "system32"; }
  fs::path hkcr() const { return machine_.registryFile("HKEY_CLASSES_ROOT"); }

  ToolRun regsvr32(const std::vector<std::string>& args) {
    fs::create_directories(drive() / "Setup");
    return runTool(buildBin() / "regsvr32", args, drive() / "Setup",
                   {"PMSETUP_MACHINE=" + (root_ / "machine").string()});
  }
  std::string registered(const std::string& name) {
    auto v = posix::PosixRegistryStore(machine_).readValue(RootKey::ClassesRoot,
                                                           "PMSetup\\Registered\\" + name, "");
    return v.ok() && v.value() ? v.value()->text : "<none>";
  }

  TempDir root_;
  posix::Machine machine_{(fs::create_directories(root_ / "machine"), root_ / "machine")};
};

TEST_F(Regsvr32Test, RecordsTheLibraryFromTheSystemFolderBeforeTheWorkingFolder) {
  writeFile(system32() / "scrrun.dll", "library");
  const ToolRun r = regsvr32({"/s", "SCRRUN.DLL"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(registered("scrrun.dll"), "C:\\windows\\system32\\scrrun.dll");

  writeFile(drive() / "Setup" / "Local.ocx", "ocx");
  EXPECT_EQ(regsvr32({"/s", "local.ocx"}).code, 0);
  EXPECT_EQ(registered("Local.ocx"), "C:\\Setup\\Local.ocx");
  writeFile(system32() / "Local.ocx", "ocx");
  EXPECT_EQ(regsvr32({"/s", "Local.ocx"}).code, 0);
  EXPECT_EQ(registered("Local.ocx"), "C:\\windows\\system32\\Local.ocx");
}

TEST_F(Regsvr32Test, AMissingLibraryOrABadCommandLineChangesNothing) {
  const std::string before =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\x]\r\n\"a\"=\"b\"\r\n";
  writeFile(hkcr(), before);
  writeFile(system32() / "there.dll", "x");
  const ToolRun missing = regsvr32({"/s", "scrrun.dll"});
  EXPECT_EQ(missing.code, 3);
  EXPECT_NE(missing.err.find("scrrun.dll"), std::string::npos);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/s"}, {"/u", "there.dll"}, {"/x", "there.dll"}, {}}) {
    EXPECT_EQ(regsvr32(args).code, 1);
  }
  // A name with a folder part is taken as it is, not searched for.
  EXPECT_EQ(regsvr32({"/s", "C:\\elsewhere\\there.dll"}).code, 3);
  EXPECT_EQ(readFile(hkcr()), before);
}

}  // namespace
}  // namespace pm::regsvr32
