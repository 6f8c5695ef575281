#include "console/frmUpgradeInstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/installGlobals.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using testing::FakeToolkit;
using testing::WindowTestRig;

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class InstallWindowTest : public ::testing::Test {
 protected:
  WindowTestRig rig;
  frmUpgradeInstall frm{rig.services};

  void SetUp() override { rig.toolkit.run(frm); }

  // Seconds of the clock that a call lets pass.
  template <typename F>
  double secondsTaken(F&& f) {
    const auto before = rig.clock.millis;
    f();
    return (rig.clock.millis - before) / 1000.0;
  }
  std::string debugFile() { return slurp(rig.host("C:\\setup\\PMInstall.dbg")); }
  bool debugFileExists() { return std::filesystem::exists(rig.host("C:\\setup\\PMInstall.dbg")); }
};

TEST_F(InstallWindowTest, LoadsBehindTheSplashIntoTheReadyState) {
  ASSERT_EQ(rig.toolkit.shown.size(), 1u);
  EXPECT_EQ(rig.toolkit.shown[0].form, "frmSplash");
  EXPECT_EQ(rig.toolkit.shown[0].owner, "frmUpgradeInstall");
  EXPECT_FALSE(eulaAccepted);
  EXPECT_TRUE(frm.reachable("cmdInstall"));
  EXPECT_TRUE(frm.reachable("cmdCancelInstall"));
  EXPECT_FALSE(frm.enabled("cmdClose"));
  EXPECT_FALSE(frm.enabled("chkLaunch"));
  EXPECT_FALSE(frm.visible("frmeLong"));
  EXPECT_FALSE(frm.visible("lblCurrent"));
  // A press on the disabled "Complete" does nothing.
  EXPECT_FALSE(frm.click("cmdClose"));
  EXPECT_TRUE(frm.loaded());
}

TEST_F(InstallWindowTest, ReportLinesMoveTheBarByNinetySevenAndAHalfTwipsUnclamped) {
  frm.state().stepCount = 1;
  frm.rept("first line");
  EXPECT_EQ(frm.control("shpProgress").width, 195.0);
  EXPECT_EQ(frm.text("txtCurrent"), "first line");
  frm.rept("closing line\r\n");
  frm.rept("");
  EXPECT_EQ(frm.text("txtReport"), "first line\r\nclosing line\r\n\r\n\r\n");
  EXPECT_EQ(frm.state().reportText, frm.text("txtReport"));
  EXPECT_EQ(frm.state().stepCount, 4);

  frm.pbar(90);
  EXPECT_EQ(frm.control("shpProgress").width, 8775.0);
  frm.pbar(91);
  EXPECT_EQ(frm.control("shpProgress").width, 8872.5);
  frm.pbar(1);
  EXPECT_EQ(frm.control("shpProgress").width, 97.5);
}

TEST_F(InstallWindowTest, PausesWaitForSecondBoundariesRoundedHalfToEvenAndSleep) {
  struct Case {
    std::int16_t delayx;
    int boundaries;
  } cases[] = {{0, 1}, {-7, 1}, {5, 1}, {10, 2}, {15, 3}, {20, 3}, {25, 3}, {30, 4}};
  for (const Case& c : cases) {
    // Start part-way through a second: the wait ends on a whole second.
    rig.clock.millis = rig.clock.millis / 1000 * 1000 + 400;
    const int sleepsBefore = rig.clock.sleeps;
    const double taken = secondsTaken([&] { frm.rept("x", c.delayx); });
    EXPECT_DOUBLE_EQ(taken, c.boundaries - 0.4) << "delayx " << c.delayx;
    EXPECT_EQ(rig.clock.sleeps - sleepsBefore, 1) << "delayx " << c.delayx;
  }
  // A negative pause called directly has nothing to wait for.
  EXPECT_EQ(secondsTaken([&] { frm.pause(-20); }), 0);
}

TEST_F(InstallWindowTest, ImageShowsTheLongInstallFrameOnlyForTheLeftButton) {
  EXPECT_FALSE(frm.click("chkLibraryDate"));  // hidden with its frame
  frm.mouseDown("Image1", ui::MouseButton::Right);
  EXPECT_FALSE(frm.visible("frmeLong"));
  frm.mouseDown("Image1", ui::MouseButton::Left);
  EXPECT_TRUE(frm.visible("frmeLong"));
  EXPECT_FALSE(frm.libraryDateOption());
  EXPECT_TRUE(frm.click("chkLibraryDate"));
  EXPECT_TRUE(frm.libraryDateOption());
  frm.mouseDown("Image1", ui::MouseButton::Left);
  EXPECT_TRUE(frm.visible("frmeLong"));
}

TEST_F(InstallWindowTest, CancelAsksAndEndsOnlyOnYesWithoutADebugFile) {
  rig.toolkit.answers = {ui::MsgBoxResult::No};
  EXPECT_TRUE(frm.click("cmdCancelInstall"));
  EXPECT_TRUE(frm.loaded());
  EXPECT_FALSE(rig.toolkit.ended);
  ASSERT_EQ(rig.toolkit.questions.size(), 1u);
  EXPECT_EQ(rig.toolkit.questions[0], "PMSetup: Are you sure you want to cancel this install?");

  // The close box asks the same question.
  rig.toolkit.answers = {ui::MsgBoxResult::No};
  EXPECT_FALSE(frm.requestClose());
  EXPECT_EQ(rig.toolkit.questions.size(), 2u);

  frm.rept("something");
  rig.toolkit.answers = {ui::MsgBoxResult::Yes};
  EXPECT_THROW(frm.click("cmdCancelInstall"), FakeToolkit::ProgramEnded);
  EXPECT_FALSE(debugFileExists());
}

class InstallSequenceTest : public InstallWindowTest {
 protected:
  void install() { ASSERT_TRUE(frm.click("cmdInstall")); }
};

TEST_F(InstallSequenceTest, DeclinedAgreementStillEndsInTheFinishedState) {
  frm.setText("txtReport", "left over");
  install();
  const std::string& report = frm.text("txtReport");
  EXPECT_EQ(report.find("left over"), std::string::npos);
  EXPECT_EQ(report.find("Eula Accepted"), std::string::npos);
  const std::string ending = "INSTALL COMPLETE\r\nDeleting temporary data\r\nInstall Complete.\r\n";
  ASSERT_GE(report.size(), ending.size());
  EXPECT_EQ(report.substr(report.size() - ending.size()), ending);
  EXPECT_EQ(frm.text("txtCurrent"), "Install Complete.");
  EXPECT_EQ(frm.control("shpProgress").width, 8775.0);
  EXPECT_FALSE(frm.enabled("cmdInstall"));
  EXPECT_TRUE(frm.enabled("cmdClose"));
  EXPECT_TRUE(frm.enabled("chkLaunch"));
  EXPECT_TRUE(frm.enabled("cmdCancelInstall"));
  EXPECT_FALSE(frm.installing());
  // The temporary folder made by the library stage is gone.
  EXPECT_FALSE(frm.state().tempFolder.empty());
  EXPECT_FALSE(rig.fs.folderExists(frm.state().tempFolder));
  // Nothing else is asked or shown besides the splash.
  EXPECT_TRUE(rig.toolkit.questions.empty());
  EXPECT_TRUE(rig.toolkit.notices.empty());
}

TEST_F(InstallSequenceTest, ASecondPressWhileItRunsIsRefused) {
  int refusedPresses = 0;
  rig.processes.onRun = [&](const std::string&) {
    if (frm.installing() && frm.click("cmdInstall")) ++refusedPresses;
  };
  install();
  EXPECT_GT(refusedPresses, 0);  // the presses reached the window...
  EXPECT_EQ(count(frm.state().reportText, "INSTALL COMPLETE"), 1u);  // ...and started nothing
}

TEST_F(InstallSequenceTest, CancelBetweenTwoStepsEndsTheRun) {
  rig.toolkit.answers = {ui::MsgBoxResult::Yes};
  rig.toolkit.onDoEvents = [&] { frm.click("cmdCancelInstall"); };
  EXPECT_THROW(install(), FakeToolkit::ProgramEnded);
  EXPECT_EQ(frm.state().reportText.find("INSTALL COMPLETE"), std::string::npos);
  EXPECT_FALSE(debugFileExists());
}

TEST_F(InstallSequenceTest, AFileThatCannotBeDeletedIsNamedAndTheRunEnds) {
  // The outside programs of the library stage leave a read-only file behind.
  rig.processes.onRun = [&](const std::string&) {
    const auto temp = rig.host(frm.state().tempFolder);
    if (!std::filesystem::exists(temp) || std::filesystem::exists(temp / "stuck.dll")) return;
    std::ofstream(temp / "stuck.dll") << "x";
    std::filesystem::permissions(temp / "stuck.dll", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
  };
  install();
  const std::string stuck = frm.state().tempFolder + "\\stuck.dll";
  EXPECT_NE(frm.state().reportText.find("Could not delete " + stuck + "\r\n"), std::string::npos);
  EXPECT_TRUE(rig.fs.fileExists(stuck));
  EXPECT_EQ(frm.text("txtCurrent"), "Install Complete.");
  EXPECT_EQ(frm.control("shpProgress").width, 8775.0);
}

TEST_F(InstallSequenceTest, CompleteWritesTheReportBoxReplacingAnyEarlierFileAndLaunches) {
  std::ofstream(rig.host("C:\\setup\\PMInstall.dbg")) << "an earlier, much longer debug file\r\n";
  install();
  frm.state().appFolder = "C:\\Program Files\\Pelmora";
  EXPECT_TRUE(frm.click("chkLaunch"));
  EXPECT_TRUE(frm.click("cmdClose"));
  EXPECT_EQ(debugFile(), frm.state().reportText);
  ASSERT_EQ(rig.processes.started.size(), 1u);
  EXPECT_EQ(rig.processes.started[0], "\"C:\\Program Files\\Pelmora\\Pelmora.exe\"");
  EXPECT_FALSE(frm.loaded());
  EXPECT_TRUE(rig.toolkit.notices.empty());
}

TEST_F(InstallSequenceTest, CompleteTellsTheUserWhatFailedAndStillCloses) {
  install();
  frm.click("chkLaunch");
  std::filesystem::remove_all(rig.host("C:\\setup"));
  rig.processes.startResult = Status::failure("no such program");
  EXPECT_TRUE(frm.click("cmdClose"));
  ASSERT_EQ(rig.toolkit.notices.size(), 2u);
  EXPECT_NE(rig.toolkit.notices[0].find("C:\\setup\\PMInstall.dbg"), std::string::npos);
  EXPECT_NE(rig.toolkit.notices[1].find("Pelmora.exe"), std::string::npos);
  EXPECT_FALSE(frm.loaded());
}

TEST_F(InstallSequenceTest, WithoutLaunchNothingIsStarted) {
  install();
  frm.click("cmdClose");
  EXPECT_TRUE(rig.processes.started.empty());
  EXPECT_TRUE(debugFileExists());
}

}  // namespace
}  // namespace pm
