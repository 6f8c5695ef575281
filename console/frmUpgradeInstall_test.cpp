#include "console/frmUpgradeInstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/windowTestRig.h"

namespace pm {
namespace {

using testing::FakeToolkit;

class InstallWindowTest : public ::testing::Test {
 protected:
  testing::WindowTestRig rig;
  frmUpgradeInstall frm{rig.services};

  void SetUp() override { rig.toolkit.run(frm); }
  void install() { ASSERT_TRUE(frm.click("cmdInstall")); }
  std::filesystem::path debugFile() { return rig.host("C:\\setup\\PMInstall.dbg"); }
};

// A pause waits for more than round-half-even(tenths / 10) second boundaries,
// sleeping; rept's default is 5 tenths. Read on the fake clock.
TEST_F(InstallWindowTest, PausesLastTheSecondsTheyAskFor) {
  struct Row {
    std::int64_t startMs;  // into the current second
    std::int16_t tenths;
    std::int64_t waitedMs;
  };
  for (const Row& r : {Row{0, 5, 1000}, Row{400, 5, 600}, Row{0, 15, 3000}, Row{0, 25, 3000},
                       Row{0, 30, 4000}, Row{700, 30, 3300}}) {
    rig.clock.millis = (rig.clock.millis / 1000 + 1) * 1000 + r.startMs;
    const std::int64_t start = rig.clock.millis;
    frm.pause(r.tenths);
    EXPECT_EQ(rig.clock.millis - start, r.waitedMs) << r.startMs << " " << r.tenths;
  }
  const std::int64_t start = rig.clock.millis;  // on a whole second now
  frm.rept("a line");
  EXPECT_EQ(rig.clock.millis - start, 1000);
}

// The report's lines are pinned by the end-to-end roads, the bar by the Qt tests.
TEST_F(InstallWindowTest, CancelAndTheCloseBoxEndOnlyOnYesWithoutADebugFile) {
  EXPECT_TRUE(frm.click("cmdCancelInstall"));  // answered No
  EXPECT_FALSE(frm.requestClose());            // answered No
  EXPECT_EQ(rig.toolkit.questions,
            std::vector<std::string>(2, "PMSetup: Are you sure you want to cancel this install?"));
  EXPECT_TRUE(frm.loaded());

  frm.rept("something");
  rig.toolkit.answers = {ui::MsgBoxResult::Yes};
  EXPECT_THROW(frm.click("cmdCancelInstall"), FakeToolkit::ProgramEnded);
  EXPECT_FALSE(std::filesystem::exists(debugFile()));
}

TEST_F(InstallWindowTest, ASecondPressWhileItRunsIsRefused) {
  int pressesReached = 0;
  rig.processes.onRun = [&](const std::string&, const auto&) {
    if (frm.installing() && frm.click("cmdInstall")) ++pressesReached;
    return 0;
  };
  install();
  EXPECT_GT(pressesReached, 0);
  const std::string& report = frm.state().reportText;
  EXPECT_EQ(report.find("INSTALL COMPLETE"), report.rfind("INSTALL COMPLETE"));
}

TEST_F(InstallWindowTest, TheEndIsReachedEvenWhenATemporaryFileCannotBeDeleted) {
  // The outside programs of the library stage leave a read-only file behind.
  rig.processes.onRun = [&](const std::string&, const auto&) {
    const auto stuck = rig.host(frm.state().tempFolder) / "stuck.dll";
    if (std::filesystem::exists(stuck.parent_path()) && !std::filesystem::exists(stuck)) {
      std::ofstream(stuck) << "x";
      std::filesystem::permissions(stuck, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::remove);
    }
    return 0;
  };
  frm.setText("txtReport", "left over");
  install();
  const std::string& report = frm.text("txtReport");
  EXPECT_EQ(report.find("left over"), std::string::npos);
  const std::string stuck = frm.state().tempFolder + "\\stuck.dll";
  const std::string ending = "INSTALL COMPLETE\r\nDeleting temporary data\r\nCould not delete " +
                             stuck + "\r\nCould not delete " + frm.state().tempFolder +
                             "\r\nInstall Complete.\r\n";
  EXPECT_TRUE(report.ends_with(ending)) << report;
  EXPECT_TRUE(rig.fs.fileExists(stuck));
  EXPECT_EQ(frm.control("shpProgress").width, 8775.0);  // full, whatever the count of lines
  EXPECT_FALSE(frm.enabled("cmdInstall"));
  EXPECT_TRUE(frm.click("cmdClose"));
  EXPECT_TRUE(rig.processes.started.empty());  // "Launch Pelmora" was not checked
}

TEST_F(InstallWindowTest, CompleteTellsTheUserWhatFailedAndStillCloses) {
  install();
  frm.click("chkLaunch");
  // A folder in the debug file's place (the working folder itself cannot be
  // removed on Windows).
  std::filesystem::create_directory(debugFile());
  rig.processes.startResult = Status::failure("no such program");
  EXPECT_TRUE(frm.click("cmdClose"));
  ASSERT_EQ(rig.toolkit.notices.size(), 2u);
  EXPECT_NE(rig.toolkit.notices[0].find("C:\\setup\\PMInstall.dbg"), std::string::npos);
  EXPECT_NE(rig.toolkit.notices[1].find("Pelmora.exe"), std::string::npos);
  EXPECT_FALSE(frm.loaded());
}

}  // namespace
}  // namespace pm
