#include "platform/posix/machine.h"

#include <gtest/gtest.h>

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

TEST_F(MachineTest, DrivesSeparatorsAndDotsThatNeverLeaveADrive) {
  const struct {
    const char* windows;
    fs::path host;
  } cases[] = {
      {R"(C:\Program Files\Pelmora\Dorvane.mdb)", c() / "Program Files/Pelmora/Dorvane.mdb"},
      {"c:/windows/system32/", c() / "windows/system32"},
      {R"(C:\)", c()},
      {R"(z:\usr\bin)", "/usr/bin"},
      {R"(Z:\)", "/"},
      {R"(D:\data\x)", m.root() / "drive_d/data/x"},
      {"/usr/bin", "/usr/bin"},  // a host path stays as it is
      {R"(C:\windows\..\Program Files\.\x)", c() / "Program Files/x"},
      {R"(C:\..\..\windows)", c() / "windows"},
      {R"(Z:\..\usr)", "/usr"},
      // After ".." the lookup ignores case again.
      {R"(C:\nowhere\..\WINDOWS\System32)", c() / "windows/system32"},
  };
  for (const auto& t : cases) EXPECT_EQ(m.toHost(t.windows), t.host) << t.windows;
  EXPECT_EQ(m.toWindows(m.root() / "drive_d/x"), R"(D:\x)");
  for (const char* w :
       {R"(C:\windows\system32)", R"(Z:\usr\share)", R"(C:\Program Files\New)", R"(C:\)", R"(Z:\)"})
    EXPECT_EQ(m.toWindows(m.toHost(w)), w);
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

}  // namespace
}  // namespace pm::posix
