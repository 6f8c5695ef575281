#include "packages/installCheck.h"

#include "packages/stageRig_test.h"

namespace pm::testing {
namespace {

class ExecutablesStage : public StageRig {
 protected:
  std::string app(const std::string& name) const { return appFolder + "\\" + name; }
};

TEST_F(ExecutablesStage, OverwritesEveryListedFileAndReportsTheOnesItCannot) {
  cabinet("Pelmora.CAB",
          {{"upgrade.txt",
            {"Pelmora.exe\r\n\"EULA.txt\"\r\nPMUninstall.EXE\r\nmissing.dll\r\nlocked.dll\r\n"}},
           {"Pelmora.exe", {"new exe", DateTime::fromCivil(2018, 1, 1)}},
           {"EULA.txt", {"terms"}},
           {"PMUninstall.EXE", {"uninstall"}},
           {"locked.dll", {"new lib"}},
           {"extra.dat", {"not listed"}}},
          true);
  put(app("Pelmora.exe"), {"user's newer exe", DateTime::fromCivil(2024, 1, 1)});
  put(app("locked.dll"), {"old lib"});
  stdfs::permissions(host(app("locked.dll")), stdfs::perms::owner_write,
                     stdfs::perm_options::remove);

  installCheck(frm);

  ASSERT_EQ(frm.lines.size(), 10u);
  EXPECT_EQ(frm.lines[4], "Extracting and Installing PMUninstall.EXE");
  EXPECT_EQ(frm.lines[5], "Could not install missing.dll: not found in Pelmora.CAB");
  EXPECT_EQ(frm.lines[6].rfind("Could not install locked.dll: ", 0), 0u) << frm.lines[6];
  EXPECT_EQ(frm.lines[9], "Creating Icons");
  EXPECT_EQ(text(app("Pelmora.exe")), "new exe");
  EXPECT_EQ(text(app("EULA.txt")), "terms");
  EXPECT_EQ(text(app("locked.dll")), "old lib");
  EXPECT_FALSE(fs.fileExists(app("extra.dat")));
  // Only Pelmora.exe pauses: 30 before its copy, 10 after its line.
  EXPECT_EQ(frm.pauses, (std::vector<std::int16_t>{5, 5, 30, 5, 10, 5, 5, 5, 5, 5, 5, 5}));
  // An unquoted line is extracted again on its own; a quoted one uses the full extraction.
  EXPECT_TRUE(ran("Cabarc -o X \"" + temp + "\\Pelmora.CAB\" Pelmora.exe \"" + temp + "\"\\"));
  EXPECT_FALSE(ran("Cabarc -o X \"" + temp + "\\Pelmora.CAB\" \"EULA.txt\" \"" + temp + "\"\\"));
  EXPECT_EQ(fs.workingFolder(), "C:\\setup");
}

}  // namespace
}  // namespace pm::testing
