#include "packages/installCheck.h"

#include "packages/stageRig_test.h"

namespace pm::testing {
namespace {

using Lines = std::vector<std::string>;

class ExecutablesStage : public StageRig {
 protected:
  std::string app(const std::string& name) const { return appFolder + "\\" + name; }
  std::map<std::string, std::string> shortcuts() const {
    std::map<std::string, std::string> byTitle;
    for (const auto& item : progman.items("Pelmora")) byTitle[item.title] = item.commandLine;
    return byTitle;
  }
  const std::map<std::string, std::string> expectedShortcuts{
      {"Pelmora v.1.9.5", app("Pelmora.exe") + " "},
      {"EULA", app("EULA.txt") + " "},
      {"PMUninstall", app("PMUninstall.exe") + " "}};
};

TEST_F(ExecutablesStage, OverwritesEveryListedFileAndReportsTheOnesItCannot) {
  cabinetInTemp(
      "Pelmora.CAB",
      {{"upgrade.txt",
        {"Pelmora.exe\r\n\"EULA.txt\"\r\nPMUninstall.EXE\r\nmissing.dll\r\nlocked.dll\r\n"}},
       {"Pelmora.exe", {"new exe", DateTime::fromCivil(2018, 1, 1)}},
       {"EULA.txt", {"terms"}},
       {"PMUninstall.EXE", {"uninstall"}},
       {"locked.dll", {"new lib"}},
       {"extra.dat", {"not listed"}}});
  put(app("Pelmora.exe"), {"user's newer exe", DateTime::fromCivil(2024, 1, 1)});
  put(app("locked.dll"), {"old lib"});
  stdfs::permissions(host(app("locked.dll")), stdfs::perms::owner_write,
                     stdfs::perm_options::remove);

  installCheck(frm);

  ASSERT_EQ(frm.lines.size(), 10u);
  EXPECT_EQ(Lines(frm.lines.begin(), frm.lines.begin() + 5),
            (Lines{"--- Install Executables", "Extracting Files to temporary directory",
                   "Extracting and Installing Pelmora.exe", "Extracting and Installing EULA.txt",
                   "Extracting and Installing PMUninstall.EXE"}));
  EXPECT_EQ(frm.lines[5], "Could not install missing.dll: not found in Pelmora.CAB");
  EXPECT_EQ(frm.lines[6].rfind("Could not install locked.dll: ", 0), 0u) << frm.lines[6];
  EXPECT_EQ(Lines(frm.lines.begin() + 7, frm.lines.end()),
            (Lines{"Extraction and copy complete", "Completing extraction check and copy complete",
                   "Creating Icons"}));
  EXPECT_EQ(text(app("Pelmora.exe")), "new exe");
  EXPECT_EQ(text(app("EULA.txt")), "terms");
  EXPECT_EQ(text(app("PMUninstall.EXE")), "uninstall");
  EXPECT_EQ(text(app("locked.dll")), "old lib");
  EXPECT_FALSE(fs.fileExists(app("extra.dat")));
  EXPECT_TRUE(fs.fileExists(temp + "\\extra.dat"));
  // Only Pelmora.exe pauses: 30 before its copy, 10 after its line.
  EXPECT_EQ(frm.pauses, (std::vector<std::int16_t>{5, 5, 30, 5, 10, 5, 5, 5, 5, 5, 5, 5}));
  // An unquoted line is extracted again on its own; a quoted one uses the full extraction.
  EXPECT_TRUE(ran("Cabarc -o X \"" + temp + "\\Pelmora.CAB\" Pelmora.exe \"" + temp + "\"\\"));
  EXPECT_FALSE(ran("Cabarc -o X \"" + temp + "\\Pelmora.CAB\" \"EULA.txt\" \"" + temp + "\"\\"));
  EXPECT_EQ(shortcuts(), expectedShortcuts);
  EXPECT_EQ(fs.workingFolder(), "C:\\setup");
  EXPECT_EQ(frm.currentCaption, "Execution Files");
  EXPECT_FALSE(frm.currentVisible);
}

TEST_F(ExecutablesStage, WithoutAListEverythingIsUnpackedButNothingInstalled) {
  cabinetInTemp("Pelmora.CAB", {{"Pelmora.exe", {"exe"}}, {"Dorvane.mdb", {"db"}}});

  installCheck(frm);

  EXPECT_EQ(frm.lines, (Lines{"--- Install Executables", "Extracting Files to temporary directory",
                              "Extraction and copy complete",
                              "Completing extraction check and copy complete", "Creating Icons"}));
  EXPECT_TRUE(ran("Cabarc -o X \"" + temp + "\\Pelmora.CAB\"  \"" + temp + "\"\\"));
  EXPECT_TRUE(fs.fileExists(temp + "\\Pelmora.exe"));
  EXPECT_TRUE(fs.fileExists(temp + "\\Dorvane.mdb"));
  EXPECT_FALSE(fs.fileExists(app("Pelmora.exe")));
  EXPECT_EQ(shortcuts(), expectedShortcuts);
}

TEST_F(ExecutablesStage, AMissingApplicationFolderIsReportedAndTheStageGoesOn) {
  cabinetInTemp("Pelmora.CAB",
                {{"upgrade.txt", {"a.dll\nb.dll"}}, {"a.dll", {"a"}}, {"b.dll", {"b"}}});
  frm.state().appFolder = "C:\\Gone\\Pelmora";

  installCheck(frm);

  ASSERT_EQ(frm.lines.size(), 7u);
  EXPECT_EQ(frm.lines[2].rfind("Could not install a.dll: ", 0), 0u) << frm.lines[2];
  EXPECT_EQ(frm.lines[3].rfind("Could not install b.dll: ", 0), 0u) << frm.lines[3];
  EXPECT_EQ(frm.lines[6], "Creating Icons");
}

}  // namespace
}  // namespace pm::testing
