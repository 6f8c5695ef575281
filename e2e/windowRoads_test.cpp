// A road through PMSetup's real window (Qt, offscreen), played by
// e2e_window_driver: a cancel confirmed half-way through the install, which ends
// the program at once. The report of a whole install is the unattended roads'.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2eSupport.h"

namespace pm::e2e {
namespace {

TEST(WindowRoads, CancelConfirmedMidStageEndsBetweenTwoStepsAndDamagesNothing) {
  DemoCopy demo;
  const RunResult run = shell(
      "cd " + shq(demo.setup) +
      " && QT_QPA_PLATFORM=offscreen PMSETUP_MACHINE=" + shq(demo.machine) +
      " timeout 150 ./e2e_window_driver 'Ann Lee' 'Extracting and Installing PMUninstall.exe'");
  ASSERT_EQ(run.exitCode, 0) << run.err;

  // Ended at once: no report written, nothing undone, the temporary folder left.
  EXPECT_FALSE(fs::exists(demo.debugFile()));
  EXPECT_TRUE(fs::exists(demo.setup / "PMUpTemp"));
  // Between two files of the executables stage: the two before it are in
  // place, the icons after it are not.
  EXPECT_EQ(filesBelow(demo.appFolder()),
            (std::vector<std::string>{"Dorvane.mdb", "DorvaneBKUP.mdb", "EULA.txt",
                                      "PMUninstall.exe", "Pelmora.exe"}));
  EXPECT_FALSE(fs::exists(demo.group()));

  // The stages that finished left whole work: both databases are sound, the
  // earlier one as the backup, and the new program reads the new name.
  EXPECT_EQ(demo.sql(demo.appFolder() / "Dorvane.mdb", "pragma integrity_check"), "ok\n");
  EXPECT_EQ(demo.sql(demo.appFolder() / "DorvaneBKUP.mdb",
                     "select StatusValue from Status where StatusDescription='UserName'"),
            "Demo User\n");
  const RunResult pelmora = shell("PMSETUP_MACHINE=" + shq(demo.machine) + " " +
                                  shq(demo.appFolder() / "Pelmora.exe") + " --no-window");
  EXPECT_EQ(pelmora.out, "Pelmora v.1.9.5 is registered to Ann Lee.\n") << pelmora.err;
}

}  // namespace
}  // namespace pm::e2e
