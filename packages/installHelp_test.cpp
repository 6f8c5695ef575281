#include "packages/installHelp.h"

#include "packages/stageRig_test.h"

namespace pm::testing {
namespace {

using Lines = std::vector<std::string>;

class HelpStage : public StageRig {
 protected:
  std::string help(const std::string& name) const { return appFolder + "\\PMHelp\\" + name; }
  std::string topic(const std::string& name) const {
    return appFolder + "\\PMHelp\\PMHelpContent\\" + name;
  }
};

TEST_F(HelpStage, PutsTheContentsFileAndTopicsInTheirFolders) {
  cabinetInTemp("PLMHelp.CAB", {{"help.txt", {"Content.PMH\r\nintro.htm\r\n\"two words.htm\"\r\n"}},
                                {"Content.PMH", {"contents"}},
                                {"intro.htm", {"intro"}},
                                {"two words.htm", {"two"}},
                                {"unlisted.htm", {"never"}}});
  put(topic("intro.htm"), {"old intro"});  // an existing folder is reused
  frm.state().stepCount = 40;

  installHelp(frm);

  EXPECT_EQ(frm.lines,
            (Lines{"Help folders creating, extracting files", "Extracting All Help Files",
                   "Copying Content.PMH", "Copying intro.htm", "Copying \"two words.htm\""}));
  EXPECT_EQ(frm.pauses, (std::vector<std::int16_t>{5, 5, 2, 2, 2}));
  EXPECT_EQ(frm.state().stepCount, 6);
  EXPECT_EQ(text(help("Content.PMH")), "contents");
  EXPECT_EQ(text(topic("intro.htm")), "intro");
  EXPECT_EQ(text(topic("two words.htm")), "two");
  EXPECT_FALSE(fs.fileExists(topic("Content.PMH")));
  EXPECT_FALSE(fs.fileExists(topic("unlisted.htm")));
  EXPECT_TRUE(fs.fileExists(temp + "\\unlisted.htm"));
  EXPECT_TRUE(ran("Cabarc -o x \"" + temp + "\\PLMHelp.CAB\" *.* \"" + temp + "\"\\"));
  EXPECT_EQ(frm.currentCaption, "Help Files");
  EXPECT_TRUE(frm.currentVisible);
}

TEST_F(HelpStage, WithoutTheIndexTheFoldersAreMadeAndNothingCopied) {
  cabinetInTemp("PLMHelp.CAB", {{"content.pmh", {"contents"}}});

  installHelp(frm);

  EXPECT_EQ(frm.lines,
            (Lines{"Help folders creating, extracting files", "Extracting All Help Files",
                   "Help index not found, aborting help install"}));
  EXPECT_TRUE(fs.folderExists(appFolder + "\\PMHelp\\PMHelpContent"));
  EXPECT_TRUE(fs.fileExists(temp + "\\content.pmh"));
  EXPECT_FALSE(fs.fileExists(help("content.pmh")));
  EXPECT_TRUE(frm.currentVisible);
}

TEST_F(HelpStage, AHelpFolderThatCannotBeMadeIsReportedAndTheStageGoesOn) {
  cabinetInTemp("PLMHelp.CAB", {{"help.txt", {"content.pmh\nintro.htm"}},
                                {"content.pmh", {"contents"}},
                                {"intro.htm", {"intro"}}});
  put(appFolder + "\\PMHelp", {"a file where the folder should be"});

  installHelp(frm);

  ASSERT_EQ(frm.lines.size(), 6u);
  EXPECT_EQ(frm.lines[0].rfind("Could not create the folder " + appFolder + "\\PMHelp: ", 0), 0u)
      << frm.lines[0];
  EXPECT_EQ(frm.lines[4].rfind("Could not install content.pmh: ", 0), 0u) << frm.lines[4];
  EXPECT_EQ(frm.lines[5].rfind("Could not install intro.htm: ", 0), 0u) << frm.lines[5];
  EXPECT_EQ(text(appFolder + "\\PMHelp"), "a file where the folder should be");
}

}  // namespace
}  // namespace pm::testing
