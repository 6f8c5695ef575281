#include "packages/installHelp.h"

#include "packages/stageRig_test.h"

namespace pm::testing {
namespace {

class HelpStage : public StageRig {
 protected:
  void SetUp() override {
    cabinet("PLMHelp.CAB",
            {{"help.txt", {"Content.PMH\r\nintro.htm\r\n"}},
             {"Content.PMH", {"contents"}},
             {"intro.htm", {"intro"}}},
            true);
  }
  const std::string help = appFolder + "\\PMHelp\\";
  const std::string topics = help + "PMHelpContent\\";
};

// The list names the contents file first; the topics go one folder down.
TEST_F(HelpStage, PutsTheContentsFileAndTopicsInTheirFoldersAtTheirPace) {
  put(topics + "intro.htm", {"old intro"});  // an existing folder is reused
  frm.state().stepCount = 40;

  installHelp(frm);

  EXPECT_EQ(frm.pauses, (std::vector<std::int16_t>{5, 5, 2, 2}));
  EXPECT_EQ(frm.state().stepCount, 5);
  EXPECT_EQ(text(help + "Content.PMH"), "contents");
  EXPECT_EQ(text(topics + "intro.htm"), "intro");
  EXPECT_FALSE(fs.fileExists(topics + "Content.PMH"));
}

TEST_F(HelpStage, AHelpFolderThatCannotBeMadeIsReportedAndTheStageGoesOn) {
  put(appFolder + "\\PMHelp", {"a file where the folder should be"});

  installHelp(frm);

  ASSERT_EQ(frm.lines.size(), 6u);
  EXPECT_EQ(frm.lines[0].rfind("Could not create the folder " + appFolder + "\\PMHelp: ", 0), 0u)
      << frm.lines[0];
  EXPECT_EQ(frm.lines[4].rfind("Could not install Content.PMH: ", 0), 0u) << frm.lines[4];
  EXPECT_EQ(frm.lines[5].rfind("Could not install intro.htm: ", 0), 0u) << frm.lines[5];
  EXPECT_EQ(text(appFolder + "\\PMHelp"), "a file where the folder should be");
}

}  // namespace
}  // namespace pm::testing
