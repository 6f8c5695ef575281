// The four dialogs on the scripted toolkit, and how the install sequence uses
// the agreement and options dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/frmEULA.h"
#include "console/frmInstallDirectory.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "console/frmUpgradeInstall.h"
#include "console/installGlobals.h"
#include "tests/fakeFileSystem.h"
#include "tests/fakeToolkit.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using testing::FakeFileSystem;
using testing::FakeToolkit;

constexpr const char* kAllBoxes[] = {"chkPLM",           "chkDatabase", "chkHelp",
                                     "chkDocumentation", "chkSamples",  "chkDictionaries",
                                     "chkOtherSamples"};

// ---- Agreement

class AgreementTest : public ::testing::Test {
 protected:
  FakeFileSystem fs;
  FakeToolkit toolkit;
  frmEULA dialog{fs, "C:\\setup"};

  void SetUp() override {
    fs.addFolder("C:\\setup");
    eulaAccepted = false;
  }
  void show(FakeToolkit::Script script = {}) {
    if (script) toolkit.scripts["frmEULA"] = script;
    toolkit.showModal(dialog, nullptr);
  }
};

TEST_F(AgreementTest, ShowsTheWholeFileWithItsLineBreaksAndAcceptsOnIAgree) {
  const std::string text =
      "PELMORA LICENSE\r\n\r\n1. You may install it.\r\n2. Keep a backup.\nLast line, no end";
  fs.addFile("C:\\setup\\Eula.txt", text);
  show([&](ui::Form& f) {
    EXPECT_EQ(f.text("txtEULA"), text);
    EXPECT_TRUE(f.reachable("cmdIread"));
    // The user cannot change what they agree to.
    EXPECT_FALSE(f.typeText("txtEULA", "nothing"));
    EXPECT_TRUE(f.click("cmdIread"));
    EXPECT_FALSE(f.loaded());
  });
  EXPECT_TRUE(eulaAccepted);
  EXPECT_EQ(fs.content("C:\\setup\\Eula.txt"), text);  // never written back
}

TEST_F(AgreementTest, CancelAndClosingBothLeaveItDeclined) {
  fs.addFile("C:\\setup\\Eula.txt", "terms");
  eulaAccepted = true;  // Cancel clears even a stale acceptance
  show([](ui::Form& f) { f.click("cmdCancel"); });
  EXPECT_FALSE(eulaAccepted);

  frmEULA closed(fs, "C:\\setup");
  toolkit.scripts["frmEULA"] = [](ui::Form& f) { EXPECT_TRUE(f.requestClose()); };
  toolkit.showModal(closed, nullptr);
  EXPECT_FALSE(eulaAccepted);
}

TEST_F(AgreementTest, AnEmptyFileLeavesTheBoxEmptyButCanBeAccepted) {
  fs.addFile("C:\\setup\\eula.TXT", "");  // found whatever its letter case
  show([](ui::Form& f) {
    EXPECT_EQ(f.text("txtEULA"), "");
    f.click("cmdIread");
  });
  EXPECT_TRUE(eulaAccepted);
}

TEST_F(AgreementTest, AnAgreementThatCannotBeReadIsExplainedAndCannotBeAccepted) {
  // Missing, then unreadable (a folder of that name, then a failing read).
  for (int variant = 0; variant < 3; ++variant) {
    FakeFileSystem machine;
    machine.addFolder("C:\\setup");
    if (variant == 1) machine.addFolder("C:\\setup\\Eula.txt");
    if (variant == 2) {
      machine.addFile("C:\\setup\\Eula.txt", "terms");
      machine.interceptor = [](const std::string& op, const std::string&) {
        return op == "readText" ? Status::failure("access denied") : Status();
      };
    }
    frmEULA unreadable(machine, "C:\\setup");
    eulaAccepted = false;
    toolkit.scripts["frmEULA"] = [&](ui::Form& f) {
      EXPECT_EQ(f.text("txtEULA"), frmEULA::kUnreadableNotice);
      EXPECT_FALSE(f.enabled("cmdIread"));
      EXPECT_FALSE(f.click("cmdIread"));
      // Even a button that is enabled behind the dialog's back accepts nothing.
      f.setEnabled("cmdIread", true);
      EXPECT_TRUE(f.click("cmdIread"));
    };
    toolkit.showModal(unreadable, nullptr);
    EXPECT_FALSE(eulaAccepted) << "variant " << variant;
    EXPECT_FALSE(unreadable.agreementShown());
  }
}

TEST(AgreementTextTest, AnsiTextIsShownAsWrittenAndUtf8IsKept) {
  // Windows-1252: copyright sign, e acute, curly quotes, euro sign.
  EXPECT_EQ(agreementDisplayText("\xA9 2026 Caf\xE9 \x93ok\x94 \x80"),
            "\xC2\xA9 2026 Caf\xC3\xA9 \xE2\x80\x9Cok\xE2\x80\x9D \xE2\x82\xAC");
  EXPECT_EQ(agreementDisplayText("\xC2\xA9 2026 Caf\xC3\xA9\r\n"), "\xC2\xA9 2026 Caf\xC3\xA9\r\n");
  EXPECT_EQ(agreementDisplayText("\xEF\xBB\xBFterms"), "terms");
  // A truncated or overlong sequence is not UTF-8: every byte is taken as ANSI.
  EXPECT_EQ(agreementDisplayText("ab\xC3"), "ab\xC3\x83");
  EXPECT_EQ(agreementDisplayText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
  EXPECT_EQ(agreementDisplayText("plain\r\n"), "plain\r\n");
}

// ---- Options

struct OptionsRun {
  bool optHelp;
  bool optSamples;
  std::vector<int> values;  // of kAllBoxes after the script
};

OptionsRun runOptions(const std::vector<std::string>& clicks, bool pressContinue = true) {
  FakeToolkit toolkit;
  frmOptions dialog;
  OptionsRun run{};
  toolkit.scripts["frmOptions"] = [&](ui::Form& f) {
    for (const auto& c : clicks) EXPECT_TRUE(f.click(c)) << c;
    for (const char* box : kAllBoxes) run.values.push_back(f.value(box));
    if (pressContinue) {
      EXPECT_TRUE(f.click("cmdAccept"));
    }
  };
  toolkit.showModal(dialog, nullptr);
  run.optHelp = dialog.optHelp;
  run.optSamples = dialog.optSamples;
  return run;
}

TEST(OptionsTest, StartsWithOnlyThePelmoraAndHelpBoxesWithinReach) {
  frmOptions dialog;
  dialog.load();
  for (const char* box : kAllBoxes) {
    const bool reachable = std::string(box) == "chkPLM" || std::string(box) == "chkHelp";
    EXPECT_EQ(dialog.reachable(box), reachable) << box;
    EXPECT_EQ(dialog.value(box), std::string(box) == "chkPLM" ? 1 : 0) << box;
  }
  EXPECT_EQ(dialog.value("chkInstallAll"), 0);
  EXPECT_TRUE(dialog.reachable("chkInstallAll"));
  EXPECT_TRUE(dialog.reachable("cmdAccept"));
  // The samples box cannot be set on its own.
  EXPECT_FALSE(dialog.click("chkSamples"));
  EXPECT_EQ(dialog.value("chkSamples"), 0);
}

TEST(OptionsTest, FullInstallChecksEveryBoxAndUncheckingItKeepsThem) {
  const std::vector<int> allChecked(7, 1);
  const OptionsRun full = runOptions({"chkInstallAll"});
  EXPECT_EQ(full.values, allChecked);
  EXPECT_TRUE(full.optHelp);
  EXPECT_TRUE(full.optSamples);

  const OptionsRun undone = runOptions({"chkInstallAll", "chkInstallAll"});
  EXPECT_EQ(undone.values, allChecked);
  EXPECT_TRUE(undone.optHelp);
  EXPECT_TRUE(undone.optSamples);
}

TEST(OptionsTest, OnlyHelpAndSamplesReachTheResults) {
  const OptionsRun defaults = runOptions({});
  EXPECT_FALSE(defaults.optHelp);
  EXPECT_FALSE(defaults.optSamples);

  const OptionsRun help = runOptions({"chkHelp"});
  EXPECT_TRUE(help.optHelp);
  EXPECT_FALSE(help.optSamples);

  const OptionsRun noPelmora = runOptions({"chkPLM"});
  EXPECT_EQ(noPelmora.values[0], 0);
  EXPECT_FALSE(noPelmora.optHelp);
  EXPECT_FALSE(noPelmora.optSamples);
}

TEST(OptionsTest, ClosingWithoutContinueLeavesBothFalse) {
  const OptionsRun closed = runOptions({"chkInstallAll"}, false);
  EXPECT_FALSE(closed.optHelp);
  EXPECT_FALSE(closed.optSamples);
}

// ---- Folder and name

TEST(InstallDirectoryTest, SubmitWithoutTypingGivesTheDefaultAndClosingGivesNothing) {
  FakeToolkit toolkit;
  {
    frmInstallDirectory dialog;
    toolkit.scripts["frmInstallDirectory"] = [](ui::Form& f) {
      EXPECT_EQ(f.text("txtInstallDir"), "C:\\Program Files\\Pelmora");
      f.click("cmdSubmit");
    };
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.installDir, "C:\\Program Files\\Pelmora");
  }
  {
    frmInstallDirectory dialog;
    toolkit.scripts["frmInstallDirectory"] = [](ui::Form& f) {
      f.typeText("txtInstallDir", "D:\\Elsewhere");
    };
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.installDir, "");
  }
}

TEST(RegNameTest, SubmitKeepsAnUntouchedPresetAndClosingKeepsItWhateverWasTyped) {
  FakeToolkit toolkit;
  {
    frmRegName dialog;
    dialog.regName = "Ann O'Brien";
    toolkit.scripts["frmRegName"] = [](ui::Form& f) {
      EXPECT_EQ(f.text("txtRegName"), "Ann O'Brien");
      f.click("cmdSubmit");
    };
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.regName, "Ann O'Brien");
  }
  {
    frmRegName dialog;
    dialog.regName = "Kept";
    toolkit.scripts["frmRegName"] = [](ui::Form& f) { f.typeText("txtRegName", "Dropped"); };
    toolkit.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.regName, "Kept");
  }
}

// ---- The dialogs in the install sequence

class DialogSequenceTest : public ::testing::Test {
 protected:
  testing::WindowTestRig rig;
  frmUpgradeInstall frm{rig.services};
  std::vector<bool> samplesPassed;

  void SetUp() override {
    rig.toolkit.run(frm);
    // A previous install where the validation finds everything.
    rig.registryStore.writeValue(RootKey::CurrentUser, "Software\\Korrimel Software\\Pelmora",
                                 "AppPath", RegValue::string("C:\\Apps\\Pelmora"));
    put("C:\\Apps\\Pelmora\\Pelmora.exe", "exe");
    put("C:\\Apps\\Pelmora\\Dorvane.mdb", "db");
    put("C:\\setup\\Eula.txt", "Terms.\r\n");
    frm.dbCheckStage = [this](InstallWindow& w, bool smp) {
      samplesPassed.push_back(smp);
      w.rept("(database stage)");
    };
  }
  void put(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(rig.host(path).parent_path());
    ASSERT_TRUE(rig.fs.writeText(path, content));
  }
  void agree(std::vector<std::string> optionClicks) {
    rig.toolkit.scripts["frmEULA"] = [](ui::Form& f) { f.click("cmdIread"); };
    rig.toolkit.scripts["frmOptions"] = [optionClicks](ui::Form& f) {
      for (const auto& c : optionClicks) f.click(c);
      f.click("cmdAccept");
    };
  }
  void install() { ASSERT_TRUE(frm.click("cmdInstall")); }
  const std::string& report() { return frm.state().reportText; }
  bool reported(const std::string& line) {
    return report().find(line + "\r\n") != std::string::npos;
  }
  std::vector<std::string> shownDialogs() {
    std::vector<std::string> names;
    for (const auto& s : rig.toolkit.shown) {
      if (s.form == "frmSplash") continue;
      EXPECT_EQ(s.owner, "frmUpgradeInstall") << s.form;
      names.push_back(s.form);
    }
    return names;
  }
};

TEST_F(DialogSequenceTest, DecliningRunsOnlyTheLibraryStageAndTheValidation) {
  rig.toolkit.scripts["frmEULA"] = [](ui::Form& f) { f.click("cmdCancel"); };
  install();
  EXPECT_EQ(shownDialogs(), std::vector<std::string>{"frmEULA"});
  EXPECT_TRUE(reported("Library File Check"));
  const std::string validation =
      "Previous Install at : C:\\Apps\\Pelmora\r\nPrevious Executable found.\r\n"
      "Previous Database found.\r\n--- Previous install validation complete.\r\n\r\n";
  const std::string ending = "INSTALL COMPLETE\r\nDeleting temporary data\r\nInstall Complete.\r\n";
  const auto at = report().find(validation);
  ASSERT_NE(at, std::string::npos) << report();
  EXPECT_EQ(report().substr(at), validation + ending);
  EXPECT_TRUE(samplesPassed.empty());
}

TEST_F(DialogSequenceTest, AcceptingWithDefaultsRunsEveryStageButHelp) {
  agree({});
  install();
  EXPECT_EQ(shownDialogs(), (std::vector<std::string>{"frmEULA", "frmOptions", "frmRegName"}));
  const auto accepted =
      report().find("--- Previous install validation complete.\r\n\r\nEula Accepted\r\n");
  ASSERT_NE(accepted, std::string::npos);
  EXPECT_EQ(samplesPassed, std::vector<bool>{false});
  const auto database = report().find("(database stage)");
  const auto registry = report().find("Environment Settings Check");
  const auto executables = report().find("--- Install Executables");
  EXPECT_LT(accepted, database);
  EXPECT_LT(database, registry);
  EXPECT_LT(registry, executables);
  EXPECT_NE(executables, std::string::npos);
  EXPECT_FALSE(reported("Help folders creating, extracting files"));
}

TEST_F(DialogSequenceTest, FullInstallRunsHelpAndAsksForSamples) {
  agree({"chkInstallAll"});
  install();
  EXPECT_EQ(samplesPassed, std::vector<bool>{true});
  EXPECT_TRUE(reported("Help folders creating, extracting files"));
  EXPECT_LT(report().find("--- Install Executables"),
            report().find("Help folders creating, extracting files"));
}

TEST_F(DialogSequenceTest, AFailedValidationRunsHelpWhateverTheOptions) {
  std::filesystem::remove(rig.host("C:\\Apps\\Pelmora\\Pelmora.exe"));
  agree({});
  install();
  EXPECT_TRUE(reported("Executable not found - aborting upgrade."));
  EXPECT_EQ(frm.state().appFolder, "C:\\Apps\\Pelmora");
  EXPECT_EQ(samplesPassed, std::vector<bool>{false});
  EXPECT_TRUE(reported("Help folders creating, extracting files"));
}

TEST_F(DialogSequenceTest, AMissingFolderIsAskedForOnceAndTheNameDialogGetsThePreset) {
  rig.registryStore.writeValue(RootKey::CurrentUser, "Software\\Korrimel Software\\Pelmora",
                               "AppPath", RegValue::string("C:\\Gone\\Pelmora"));
  rig.toolkit.scripts["frmEULA"] = [](ui::Form& f) { f.click("cmdCancel"); };
  rig.toolkit.scripts["frmInstallDirectory"] = [](ui::Form& f) {
    f.typeText("txtInstallDir", "C:\\Pelmora Data");
    f.click("cmdSubmit");
  };
  install();
  EXPECT_EQ(shownDialogs(), (std::vector<std::string>{"frmInstallDirectory", "frmEULA"}));
  EXPECT_EQ(frm.state().appFolder, "C:\\Pelmora Data");
  EXPECT_TRUE(rig.fs.folderExists("C:\\Pelmora Data"));
  EXPECT_TRUE(reported("Folder not found, newly created."));

  // The name dialog shows what the caller has and hands back what was submitted.
  rig.toolkit.scripts["frmRegName"] = [](ui::Form& f) {
    EXPECT_EQ(f.text("txtRegName"), "Ann");
    f.typeText("txtRegName", "Ann Smith");
    f.click("cmdSubmit");
  };
  EXPECT_EQ(frm.askRegName("Ann"), "Ann Smith");
  rig.toolkit.scripts.erase("frmRegName");
  EXPECT_EQ(frm.askRegName("Ann"), "Ann");  // closed: the preset stays
}

}  // namespace
}  // namespace pm
