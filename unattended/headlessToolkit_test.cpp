#include "unattended/headlessToolkit.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console/frmEULA.h"
#include "console/frmInstallDirectory.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "console/installGlobals.h"
#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
#include "unattended/reportEcho.h"
#include "unattended/unpacedClock.h"

namespace pm::unattended {
namespace {

Answers answers(const std::string& text) {
  auto parsed = parseAnswers(text, "test.ini");
  EXPECT_TRUE(parsed) << parsed.message();
  return parsed ? parsed.value() : Answers{};
}

struct Dialogs : ::testing::Test {
  std::ostringstream notes;
  testing::FakeFileSystem fs;
  void SetUp() override { fs.addFile("C:\\setup\\Eula.txt", "Demo agreement.\r\nLine two.\r\n"); }
};

TEST_F(Dialogs, TheAgreementIsAcceptedOnlyWhenAnsweredSoAndShown) {
  struct Case {
    const char* answer;
    bool eulaPresent;
    bool accepted;
  };
  for (const Case c :
       {Case{"accept", true, true}, Case{"decline", true, false}, Case{"accept", false, false}}) {
    if (!c.eulaPresent) (void)fs.deleteFile("C:\\setup\\Eula.txt", true);
    HeadlessToolkit toolkit(answers(std::string("agreement = ") + c.answer), notes);
    eulaAccepted = !c.accepted;
    frmEULA dialog(fs, "C:\\setup");
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(eulaAccepted, c.accepted) << c.answer << " " << c.eulaPresent;
    EXPECT_FALSE(dialog.loaded());
  }
  EXPECT_NE(notes.str().find("could not be shown"), std::string::npos);
}

TEST_F(Dialogs, OptionsFollowHelpAndFullInstall) {
  struct Case {
    const char* text;
    bool help, samples;
  };
  for (const Case c : {Case{"agreement = accept\n", false, false},
                       Case{"agreement = accept\nhelp = yes\n", true, false},
                       Case{"agreement = accept\nfull = yes\n", true, true},
                       Case{"agreement = accept\nfull = yes\nhelp = yes\n", true, true}}) {
    HeadlessToolkit toolkit(answers(c.text), notes);
    frmOptions dialog;
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.optHelp, c.help) << c.text;
    EXPECT_EQ(dialog.optSamples, c.samples) << c.text;
  }
}

TEST_F(Dialogs, NameAndFolderAreTypedOnlyWhenAnswered) {
  {
    HeadlessToolkit toolkit(answers("agreement = accept\n"), notes);
    frmRegName name;
    name.regName = "Ann";
    toolkit.showModal(name, nullptr);
    EXPECT_EQ(name.regName, "Ann");  // the preset is kept
    frmInstallDirectory folder;
    toolkit.showModal(folder, nullptr);
    EXPECT_EQ(folder.installDir, frmInstallDirectory::kDefaultFolder);
  }
  {
    HeadlessToolkit toolkit(
        answers("agreement = accept\nname = Ann O'Neill\nfolder = D:\\Apps\\Pelmora\n"), notes);
    frmRegName name;
    name.regName = "Ann";
    toolkit.showModal(name, nullptr);
    EXPECT_EQ(name.regName, "Ann O'Neill");
    frmInstallDirectory folder;
    toolkit.showModal(folder, nullptr);
    EXPECT_EQ(folder.installDir, "D:\\Apps\\Pelmora");
  }
  {
    HeadlessToolkit toolkit(answers("agreement = accept\nname = \"\"\n"), notes);
    frmRegName name;
    name.regName = "Ann";
    toolkit.showModal(name, nullptr);
    EXPECT_EQ(name.regName, "");
  }
}

// A stand-in for the install window with its controls and the order in which
// the user's actions reach it.
class InstallWindowDouble : public ui::Form {
 public:
  InstallWindowDouble() : ui::Form("frmUpgradeInstall") {
    addFrame("frmeLong", "Long Install", 0, 0, 10, 10).visible = false;
    addCheckBox("chkLibraryDate", "Valid Dates", 0, 0, 10, 10).parent = "frmeLong";
    addImage("Image1", "", 0, 0, 10, 10);
    addButton("cmdInstall", "Install", 0, 0, 10, 10);
    addCheckBox("chkLaunch", "Launch Pelmora", 0, 0, 10, 10).enabled = false;
    addButton("cmdClose", "Complete", 0, 0, 10, 10).enabled = false;
  }
  std::vector<std::string> events;

 protected:
  void onMouseDown(const std::string& c, ui::MouseButton b) override {
    if (c == "Image1" && b == ui::MouseButton::Left) setVisible("frmeLong", true);
  }
  void onClick(const std::string& c) override {
    if (c == "cmdInstall") {
      events.push_back(std::string("install, valid dates ") +
                       (value("chkLibraryDate") ? "on" : "off"));
      setEnabled("chkLaunch", true);
      setEnabled("cmdClose", true);
    } else if (c == "cmdClose") {
      events.push_back(std::string("complete, launch ") + (value("chkLaunch") ? "on" : "off"));
      unload();
    }
  }
};

TEST(HeadlessRun, RevealsValidDatesInstallsAndCompletesWithTheLaunchAnswered) {
  std::ostringstream notes;
  {
    HeadlessToolkit toolkit(answers("agreement = accept\nvalid-dates = yes\nlaunch = yes\n"),
                            notes);
    InstallWindowDouble window;
    toolkit.run(window);
    EXPECT_EQ(window.events,
              (std::vector<std::string>{"install, valid dates on", "complete, launch on"}));
    EXPECT_TRUE(toolkit.completed());
  }
  {
    HeadlessToolkit toolkit(answers("agreement = decline\n"), notes);
    InstallWindowDouble window;
    toolkit.run(window);
    EXPECT_EQ(window.events,
              (std::vector<std::string>{"install, valid dates off", "complete, launch off"}));
  }
}

TEST(ReportEchoTest, PrintsEachNewPieceOnceWithPlatformLineEndings) {
  std::ostringstream out;
  ReportEcho echo(out);
  ui::Form form("frmUpgradeInstall");
  form.addTextBox("txtReport", "", 0, 0, 10, 10, true);
  form.addTextBox("txtCurrent", "", 0, 0, 10, 10);
  form.addObserver(&echo);
  form.setText("txtReport", "Library File Check\r\n");
  form.setText("txtCurrent", "ignored");
  form.setText("txtReport", "Library File Check\r\n--- done\r\n\r\n");
  EXPECT_EQ(out.str(), "Library File Check\n--- done\n\n");
  form.setText("txtReport", "");  // emptied: the echo starts afresh
  form.setText("txtReport", "Again\r\n");
  EXPECT_EQ(out.str(), "Library File Check\n--- done\n\nAgain\n");
  form.removeObserver(&echo);
}

TEST(UnpacedClockTest, WaitsReturnAtOnceButTimeMovesOnAndTheDateStaysTheWallClocks) {
  testing::FakeClock wall;
  UnpacedClock clock(wall);
  const DateTime start = clock.now();
  clock.sleepUntil(DateTime{start.seconds + 3});
  EXPECT_EQ(clock.now().seconds, start.seconds + 3);
  clock.sleepUntil(DateTime{start.seconds + 1});  // never backwards
  EXPECT_EQ(clock.now().seconds, start.seconds + 3);
  EXPECT_TRUE(wall.waits.empty());  // the wall clock was never waited for
  wall.advance(2);
  EXPECT_EQ(clock.now().seconds, start.seconds + 5);
  EXPECT_EQ(clock.today(), wall.today());
}

}  // namespace
}  // namespace pm::unattended
