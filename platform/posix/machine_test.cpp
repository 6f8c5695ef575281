#include "platform/posix/machine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;

class MachineTest : public ::testing::Test {
 protected:
  TempMachine temp;
  const Machine& m = temp.machine;
  fs::path c() const { return m.root() / "drive_c"; }
};

TEST_F(MachineTest, MakesItsSkeleton) {
  for (const char* sub :
       {"drive_c/windows/system32", "drive_c/Program Files", "drive_c/ProgramData", "registry"})
    EXPECT_TRUE(fs::is_directory(m.root() / sub)) << sub;
  EXPECT_EQ(m.registryFile("HKEY_CURRENT_USER"), m.root() / "registry" / "HKEY_CURRENT_USER.reg");
}

TEST_F(MachineTest, DrivesAndSeparators) {
  EXPECT_EQ(m.toHost(R"(C:\Program Files\Pelmora\Dorvane.mdb)"),
            c() / "Program Files/Pelmora/Dorvane.mdb");
  EXPECT_EQ(m.toHost("c:/windows/system32/"), c() / "windows/system32");
  EXPECT_EQ(m.toHost(R"(C:\)"), c());
  EXPECT_EQ(m.toHost(R"(Z:\usr\bin)"), fs::path("/usr/bin"));
  EXPECT_EQ(m.toHost(R"(z:\)"), fs::path("/"));
  EXPECT_EQ(m.toHost(R"(D:\data\x)"), m.root() / "drive_d/data/x");
  EXPECT_EQ(m.toHost("/usr/bin"), fs::path("/usr/bin"));  // a host path stays as it is
}

TEST_F(MachineTest, DotsFoldAndStopAtTheDriveRoot) {
  EXPECT_EQ(m.toHost(R"(C:\windows\..\Program Files\.\x)"), c() / "Program Files/x");
  EXPECT_EQ(m.toHost(R"(C:\..\..\windows)"), c() / "windows");  // never leaves drive C:
  EXPECT_EQ(m.toHost(R"(Z:\..\usr)"), fs::path("/usr"));
  // After ".." the lookup ignores case again.
  EXPECT_EQ(m.toHost(R"(C:\nowhere\..\WINDOWS\System32)"), c() / "windows/system32");
}

TEST_F(MachineTest, ExistingNamesMatchWithoutCaseNewNamesStayAsWritten) {
  fs::create_directories(c() / "Program Files/Pelmora");
  std::ofstream(c() / "Program Files/Pelmora/Dorvane.mdb") << "x";
  EXPECT_EQ(m.toHost(R"(C:\PROGRAM FILES\pelmora\DORVANE.MDB)"),
            c() / "Program Files/Pelmora/Dorvane.mdb");
  EXPECT_EQ(m.toHost(R"(C:\program files\PELMORA\New Folder\File.TXT)"),
            c() / "Program Files/Pelmora/New Folder/File.TXT");
  // The exact name wins over a name that differs in case.
  std::ofstream(c() / "Program Files/Pelmora/dorvane.mdb") << "y";
  EXPECT_EQ(m.toHost(R"(C:\Program Files\Pelmora\dorvane.mdb)"),
            c() / "Program Files/Pelmora/dorvane.mdb");
  // With two case variants and no exact name, the choice does not depend on directory order.
  EXPECT_EQ(m.toHost(R"(C:\Program Files\Pelmora\DORVANE.mdb)"),
            c() / "Program Files/Pelmora/Dorvane.mdb");
}

TEST_F(MachineTest, RelativePathsFollowTheWorkingFolder) {
  const fs::path before = fs::current_path();
  fs::create_directories(c() / "setup");
  fs::current_path(c() / "setup");
  EXPECT_EQ(m.toHost(R"(PMUpTemp\x.cab)"), c() / "setup/PMUpTemp/x.cab");
  EXPECT_EQ(m.toHost(R"(\windows)"), c() / "windows");  // the root of the working folder's drive
  EXPECT_EQ(m.toHost(R"(..\..\..\windows)"), c() / "windows");
  fs::current_path("/usr");
  EXPECT_EQ(m.toHost(R"(\bin)"), fs::path("/bin"));
  fs::current_path(before);
}

TEST_F(MachineTest, WindowsNamesOfHostPaths) {
  EXPECT_EQ(m.toWindows(c() / "Program Files/Pelmora"), R"(C:\Program Files\Pelmora)");
  EXPECT_EQ(m.toWindows(c()), R"(C:\)");
  EXPECT_EQ(m.toWindows("/home/ann/setup"), R"(Z:\home\ann\setup)");
  EXPECT_EQ(m.toWindows("/"), R"(Z:\)");
  EXPECT_EQ(m.toWindows(m.root() / "drive_d/x"), R"(D:\x)");
  // Round trips.
  for (const char* w : {R"(C:\windows\system32)", R"(Z:\usr\share)", R"(C:\Program Files\New)"})
    EXPECT_EQ(m.toWindows(m.toHost(w)), w);
}

}  // namespace
}  // namespace pm::posix
