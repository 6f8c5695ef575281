// The four dialogs on the scripted toolkit, and the branches of the install
// sequence that the agreement and options dialogs choose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/frmEULA.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "console/frmUpgradeInstall.h"
#include "tests/fakeFileSystem.h"
#include "tests/fakeToolkit.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using testing::FakeFileSystem;
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

TEST(AgreementTest, OnlyIAgreeOnTheWholeUnchangeableTextAccepts) {
  FakeFileSystem fs;
  const std::string text = "PELMORA LICENSE\r\n\r\n1. You may install it.\nLast line, no end";
  fs.addFile("C:\\setup\\Eula.txt", text);
  EXPECT_TRUE(agreed(fs, [&](ui::Form& f) {
    EXPECT_EQ(f.text("txtEULA"), text);
    EXPECT_FALSE(f.typeText("txtEULA", "nothing"));
    EXPECT_TRUE(f.click("cmdIread"));
  }));
  EXPECT_EQ(fs.content("C:\\setup\\Eula.txt"), text);  // never written back
  // Cancel clears even a stale acceptance; the close box accepts nothing.
  EXPECT_FALSE(agreed(
      fs, [](ui::Form& f) { f.click("cmdCancel"); }, true));
  EXPECT_FALSE(agreed(fs, [](ui::Form& f) { EXPECT_TRUE(f.requestClose()); }));

  FakeFileSystem empty;  // found whatever its letter case; empty, yet agreed to
  empty.addFile("C:\\setup\\eula.TXT", "");
  EXPECT_TRUE(agreed(empty, [](ui::Form& f) { f.click("cmdIread"); }));
}

TEST(AgreementTest, AnAgreementThatCannotBeReadIsExplainedAndCannotBeAccepted) {
  const FakeToolkit::Script user = [](ui::Form& f) {
    EXPECT_EQ(f.text("txtEULA"), frmEULA::kUnreadableNotice);
    EXPECT_FALSE(f.click("cmdIread"));
    // Even a button enabled behind the dialog's back accepts nothing.
    f.setEnabled("cmdIread", true);
    EXPECT_TRUE(f.click("cmdIread"));
  };
  FakeFileSystem missing, folder, failing;
  missing.addFolder("C:\\setup");
  folder.addFolder("C:\\setup\\Eula.txt");
  failing.addFile("C:\\setup\\Eula.txt", "terms");
  failing.interceptor = [](const std::string& op, const std::string&) {
    return op == "readText" ? Status::failure("access denied") : Status();
  };
  EXPECT_FALSE(agreed(missing, user));
  EXPECT_FALSE(agreed(folder, user));
  EXPECT_FALSE(agreed(failing, user));
}

TEST(AgreementTest, AnsiTextIsShownAsWrittenAndUtf8IsKept) {
  // Windows-1252: copyright sign, e acute, curly quotes, euro sign.
  EXPECT_EQ(agreementDisplayText("\xA9 2026 Caf\xE9 \x93ok\x94 \x80"),
            "\xC2\xA9 2026 Caf\xC3\xA9 \xE2\x80\x9Cok\xE2\x80\x9D \xE2\x82\xAC");
  EXPECT_EQ(agreementDisplayText("\xC2\xA9 Caf\xC3\xA9\r\n"), "\xC2\xA9 Caf\xC3\xA9\r\n");
  EXPECT_EQ(agreementDisplayText("\xEF\xBB\xBFterms"), "terms");
  // A truncated or overlong sequence is not UTF-8: every byte is taken as ANSI.
  EXPECT_EQ(agreementDisplayText("ab\xC3"), "ab\xC3\x83");
  EXPECT_EQ(agreementDisplayText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
}

TEST(OptionsTest, FullInstallChecksEveryBoxForGoodAndOnlyHelpAndSamplesReachTheResults) {
  const struct {
    Names clicks;
    bool pressContinue;
    std::string boxes;  // chkPLM, chkDatabase, chkHelp, ... chkOtherSamples afterwards
    bool help, samples;
  } cases[] = {
      {{}, true, "1000000", false, false},
      {{"chkHelp"}, true, "1010000", true, false},
      {{"chkPLM"}, true, "0000000", false, false},
      {{"chkInstallAll"}, true, "1111111", true, true},
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
  toolkit.scripts["frmRegName"] = [](ui::Form& f) {
    EXPECT_EQ(f.text("txtRegName"), "Ann O'Brien");
    f.typeText("txtRegName", "Dropped");
  };
  toolkit.showModal(name, nullptr);
  EXPECT_EQ(name.regName, "Ann O'Brien");
}

// ---- The branches of the install sequence

TEST(SequenceTest, TheAgreementTheOptionsAndTheValidationChooseTheStages) {
  const struct {
    bool agree;
    const char* option;  // clicked in the options dialog
    bool validated;
    std::vector<bool> samples;  // handed to the database stage
    bool help;
  } cases[] = {
      {false, "", true, {}, false},
      {true, "", true, {false}, false},
      {true, "chkInstallAll", true, {true}, true},
      {true, "", false, {false}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.agree ? "agreed " : "declined ") + c.option +
                 (c.validated ? "" : " without Pelmora.exe"));
    testing::WindowTestRig rig;
    frmUpgradeInstall frm{rig.services};
    rig.toolkit.run(frm);
    rig.registryStore.writeValue(RootKey::CurrentUser, "Software\\Korrimel Software\\Pelmora",
                                 "AppPath", RegValue::string("C:\\Apps\\Pelmora"));
    for (const char* file : {"C:\\Apps\\Pelmora\\Pelmora.exe", "C:\\Apps\\Pelmora\\Dorvane.mdb",
                             "C:\\setup\\Eula.txt"}) {
      std::filesystem::create_directories(rig.host(file).parent_path());
      if (c.validated || std::string(file).find(".exe") == std::string::npos) {
        ASSERT_TRUE(rig.fs.writeText(file, "x"));
      }
    }
    std::vector<bool> samples;
    frm.dbCheckStage = [&](InstallWindow&, bool smp) { samples.push_back(smp); };
    rig.toolkit.scripts["frmEULA"] = [&](ui::Form& f) {
      f.click(c.agree ? "cmdIread" : "cmdCancel");
    };
    rig.toolkit.scripts["frmOptions"] = [&](ui::Form& f) {
      if (*c.option) f.click(c.option);
      f.click("cmdAccept");
    };
    ASSERT_TRUE(frm.click("cmdInstall"));

    Names dialogs;
    for (const auto& s : rig.toolkit.shown) {
      if (s.form != "frmSplash") dialogs.push_back(s.form);
    }
    EXPECT_EQ(dialogs, (c.agree ? Names{"frmEULA", "frmOptions", "frmRegName"} : Names{"frmEULA"}));
    EXPECT_EQ(samples, c.samples);
    // The report lines of each branch are pinned by the end-to-end roads.
    const auto has = [&](const std::string& line) {
      return frm.state().reportText.find(line + "\r\n") != std::string::npos;
    };
    EXPECT_EQ(has("Executable not found - aborting upgrade."), !c.validated);
    EXPECT_EQ(has("Help folders creating, extracting files"), c.help);
  }
}

}  // namespace
}  // namespace pm
