// The dialogs on the scripted toolkit: what the user can and cannot do in each.
// Which stages their answers choose is pinned by the end-to-end roads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/frmEULA.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using testing::FakeToolkit;
using Names = std::vector<std::string>;

// Shows the agreement from C:\setup with `script` as the user; true when it
// ends accepted.
bool agreed(FileSystem& fs, const FakeToolkit::Script& script, bool acceptedBefore = false) {
  FakeToolkit toolkit;
  toolkit.scripts["frmEULA"] = script;
  bool eulaAccepted = acceptedBefore;
  frmEULA dialog(fs, "C:\\setup", eulaAccepted);
  toolkit.showModal(dialog, nullptr);
  return eulaAccepted;
}

TEST(AgreementTest, OnlyIAgreeOnAWholeUnchangeableTextThatCouldBeReadAccepts) {
  testing::WindowTestRig rig;
  const std::string text = "PELMORA LICENSE\r\n\r\n1. You may install it.\nLast line, no end";
  ASSERT_TRUE(rig.fs.writeText("C:\\setup\\Eula.txt", text));
  EXPECT_TRUE(agreed(rig.fs, [&](ui::Form& f) {
    EXPECT_EQ(f.text("txtEULA"), text);
    EXPECT_FALSE(f.typeText("txtEULA", "nothing"));
    EXPECT_TRUE(f.click("cmdIread"));
  }));
  // Cancel clears even a stale acceptance; the close box accepts nothing.
  EXPECT_FALSE(agreed(
      rig.fs, [](ui::Form& f) { f.click("cmdCancel"); }, true));
  EXPECT_FALSE(agreed(rig.fs, [](ui::Form& f) { EXPECT_TRUE(f.requestClose()); }));

  // Missing, or a folder in its place: explained, and not even a button enabled
  // behind the dialog's back accepts it.
  const FakeToolkit::Script user = [](ui::Form& f) {
    EXPECT_EQ(f.text("txtEULA"), frmEULA::kUnreadableNotice);
    EXPECT_FALSE(f.click("cmdIread"));
    f.setEnabled("cmdIread", true);
    EXPECT_TRUE(f.click("cmdIread"));
  };
  ASSERT_TRUE(rig.fs.deleteFile("C:\\setup\\Eula.txt"));
  EXPECT_FALSE(agreed(rig.fs, user));
  ASSERT_TRUE(rig.fs.createFolder("C:\\setup\\Eula.txt"));
  EXPECT_FALSE(agreed(rig.fs, user));
}

TEST(OptionsTest, FullInstallChecksEveryBoxForGoodAndOnlyHelpAndSamplesReachTheResults) {
  const struct {
    Names clicks;
    bool pressContinue;
    std::string boxes;  // chkPLM, chkDatabase, chkHelp, ... chkOtherSamples afterwards
    bool help, samples;
  } cases[] = {
      {{"chkPLM"}, true, "0000000", false, false},
      {{"chkInstallAll", "chkInstallAll"}, true, "1111111", true, true},
      {{"chkInstallAll"}, false, "1111111", false, false},  // closed: nothing chosen
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.clicks) + (c.pressContinue ? "" : " closed"));
    FakeToolkit toolkit;
    frmOptions dialog;
    toolkit.scripts["frmOptions"] = [&](ui::Form& f) {
      EXPECT_FALSE(f.click("chkSamples"));  // never on its own
      for (const auto& click : c.clicks) EXPECT_TRUE(f.click(click)) << click;
      std::string boxes;
      for (const char* box : {"chkPLM", "chkDatabase", "chkHelp", "chkDocumentation", "chkSamples",
                              "chkDictionaries", "chkOtherSamples"})
        boxes += std::to_string(f.value(box));
      EXPECT_EQ(boxes, c.boxes);
      if (c.pressContinue) {
        EXPECT_TRUE(f.click("cmdAccept"));
      }
    };
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.optHelp, c.help);
    EXPECT_EQ(dialog.optSamples, c.samples);
  }
}

TEST(RegNameTest, ClosingKeepsThePresetNameWhateverWasTyped) {
  FakeToolkit toolkit;
  frmRegName name;
  name.regName = "Ann O'Brien";
  toolkit.scripts["frmRegName"] = [](ui::Form& f) { f.typeText("txtRegName", "Dropped"); };
  toolkit.showModal(name, nullptr);
  EXPECT_EQ(name.regName, "Ann O'Brien");
}

}  // namespace
}  // namespace pm
