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
  void SetUp() override {
    fs::create_directories(machineDir());
    machine_.emplace(machineDir());
    writeFile(setup() / "PMSetup", "installer");
  }
  fs::path machineDir() const { return root_ / "machine"; }
  fs::path system32() const { return machineDir() / "drive_c" / "windows" / "system32"; }
  fs::path setup() const { return machineDir() / "drive_c" / "Setup"; }
  fs::path hkcr() const { return machine_->registryFile("HKEY_CLASSES_ROOT"); }

  ToolRun regsvr32(const std::vector<std::string>& args) {
    return runTool(buildBin() / "regsvr32", args, setup(),
                   {"PMSETUP_MACHINE=" + machineDir().string()});
  }
  std::optional<RegValue> value(const std::string& key, const std::string& name) {
    posix::PosixRegistryStore store(*machine_);
    auto v = store.readValue(RootKey::ClassesRoot, key, name);
    EXPECT_TRUE(v.ok()) << v.message();
    return v.ok() ? v.value() : std::nullopt;
  }

  TempDir root_;
  std::optional<posix::Machine> machine_;
};

TEST_F(Regsvr32Test, RecordsALibraryOfTheSystemFolderSilently) {
  writeFile(system32() / "scrrun.dll", "library");
  // What is already in the store stays.
  writeFile(hkcr(),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\.pmh]\r\n"
            "@=\"Pelmora.Document\"\r\n");
  const ToolRun r = regsvr32({"/s", "SCRRUN.DLL"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(value("PMSetup\\Registered\\scrrun.dll", ""),
            RegValue::string("C:\\windows\\system32\\scrrun.dll"));
  const auto when = value("PMSetup\\Registered\\scrrun.dll", "Registered");
  ASSERT_TRUE(when);
  EXPECT_EQ(when->text.size(), std::string("2026-12-06 10:00:00").size());
  EXPECT_EQ(value(".pmh", ""), RegValue::string("Pelmora.Document"));
}

TEST_F(Regsvr32Test, FallsBackToTheWorkingFolderAndSpeaksWithoutS) {
  writeFile(setup() / "Local.ocx", "ocx");
  const ToolRun r = regsvr32({"local.ocx"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("C:\\Setup\\Local.ocx succeeded"), std::string::npos) << r.out;
  EXPECT_EQ(value("PMSetup\\Registered\\Local.ocx", ""), RegValue::string("C:\\Setup\\Local.ocx"));
  // The system folder wins over the working folder.
  writeFile(system32() / "Local.ocx", "ocx");
  EXPECT_EQ(regsvr32({"/s", "Local.ocx"}).code, 0);
  EXPECT_EQ(value("PMSetup\\Registered\\Local.ocx", ""),
            RegValue::string("C:\\windows\\system32\\Local.ocx"));
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
