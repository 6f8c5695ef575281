#include "unattended/headlessToolkit.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "console/frmEULA.h"
#include "console/frmInstallDirectory.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
#include "unattended/unpacedClock.h"

namespace pm::unattended {
namespace {

// The toolkit answering from "agreement = accept" plus these lines.
struct Headless {
  std::ostringstream notes;
  HeadlessToolkit toolkit;
  explicit Headless(const std::string& more = "", const char* agreement = "accept")
      : toolkit(
            parseAnswers(std::string("agreement = ") + agreement + "\n" + more, "t.ini").value(),
            notes) {}
};

TEST(HeadlessToolkitTest, TheAgreementIsAcceptedOnlyWhenAnsweredSoAndShown) {
  testing::FakeFileSystem fs;
  fs.addFile("C:\\setup\\Eula.txt", "Demo agreement.\r\n");
  for (const char* answer : {"accept", "decline"}) {
    Headless h("", answer);
    bool eulaAccepted = false;
    frmEULA dialog(fs, "C:\\setup", eulaAccepted);
    h.toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(eulaAccepted, std::string(answer) == "accept") << answer;
    EXPECT_FALSE(dialog.loaded());
  }
  (void)fs.deleteFile("C:\\setup\\Eula.txt", true);
  Headless h;
  bool eulaAccepted = false;
  frmEULA missing(fs, "C:\\setup", eulaAccepted);
  h.toolkit.showModal(missing, nullptr);
  EXPECT_FALSE(eulaAccepted);
  EXPECT_NE(h.notes.str().find("could not be shown"), std::string::npos);
}

TEST(HeadlessToolkitTest, OptionsNameAndFolderAreChosenOnlyWhenAnswered) {
  const struct {
    const char* answers;
    bool help, samples;
    const char* name;  // preset "Ann"
    const char* folder;
  } cases[] = {
      {"", false, false, "Ann", "C:\\Program Files\\Pelmora"},
      {"help = yes\nname = Ann O'Neill\nfolder = D:\\Apps\\Pelmora\n", true, false, "Ann O'Neill",
       "D:\\Apps\\Pelmora"},
      {"full = yes\nname = \"\"\n", true, true, "", "C:\\Program Files\\Pelmora"},
      {"full = yes\nhelp = no\n", true, true, "Ann", "C:\\Program Files\\Pelmora"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers);
    Headless h(c.answers);
    frmOptions options;
    h.toolkit.showModal(options, nullptr);
    EXPECT_EQ(options.optHelp, c.help);
    EXPECT_EQ(options.optSamples, c.samples);
    frmRegName name;
    name.regName = "Ann";
    h.toolkit.showModal(name, nullptr);
    EXPECT_EQ(name.regName, c.name);
    frmInstallDirectory folder;
    h.toolkit.showModal(folder, nullptr);
    EXPECT_EQ(folder.installDir, c.folder);
  }
}

TEST(UnpacedClockTest, WaitsReturnAtOnceButTimeMovesOnAndTheDateStaysTheWallClocks) {
  testing::FakeClock wall;
  UnpacedClock clock(wall);
  const DateTime start = clock.now();
  clock.sleepUntil(DateTime{start.seconds + 3});
  clock.sleepUntil(DateTime{start.seconds + 1});  // never backwards
  EXPECT_EQ(clock.now().seconds, start.seconds + 3);
  EXPECT_TRUE(wall.waits.empty());  // the wall clock was never waited for
  wall.advance(2);
  EXPECT_EQ(clock.now().seconds, start.seconds + 5);
  EXPECT_EQ(clock.today(), wall.today());
}

}  // namespace
}  // namespace pm::unattended
