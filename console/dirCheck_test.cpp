// The previous-install validation on a machine folder, for what the end-to-end
// roads do not reach: the folders a user may name and the failures around them.
#include "console/dirCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakeInstallWindow.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kDefault = "C:\\Program Files\\Pelmora";
const std::string kClosing = "--- Previous install validation complete.\r\n";

// A machine without an installation: the folder is asked for.
struct DirCheckTest : ::testing::Test {
  testing::WindowTestRig rig;
  testing::FakeInstallWindow frm{rig.services};
};

TEST_F(DirCheckTest, AFolderThatCannotBeUsedIsRefusedAndAskedForAgain) {
  std::filesystem::create_directories(rig.host("C:\\Data"));
  ASSERT_TRUE(rig.fs.writeText("C:\\Data\\notes.txt", "x"));
  // The last answer ends with a separator, which the folder is held without.
  frm.installDirAnswers = {"", "Pelmora", "C:\\No\\Such\\Parent\\Pelmora", "C:\\Data\\notes.txt",
                           "C:\\Data\\Pelmora\\"};
  EXPECT_TRUE(dirCheck(frm));
  Lines expected;
  for (const char* refusal :
       {"(empty) - no folder was given",
        "Pelmora - it is not a full path (for example C:\\Program Files\\Pelmora)",
        "C:\\No\\Such\\Parent\\Pelmora - its parent folder does not exist",
        "C:\\Data\\notes.txt - a file of that name is in the way"}) {
    expected.push_back(std::string("Install folder not accepted: ") + refusal +
                       ". Please choose another folder.");
  }
  expected.insert(expected.end(), {"Folder not found, newly created.", kClosing});
  EXPECT_EQ(frm.lines, expected);
  EXPECT_EQ(frm.state().appFolder, "C:\\Data\\Pelmora");
  EXPECT_TRUE(rig.fs.folderExists("C:\\Data\\Pelmora"));
  EXPECT_FALSE(rig.fs.folderExists("C:\\No"));
  EXPECT_EQ(rig.fs.readText("C:\\Data\\notes.txt").value(), "x");
}

// A drive's root is a folder like any other, kept with its separator.
TEST_F(DirCheckTest, ADriveRootIsAcceptedAsItIs) {
  frm.installDirAnswers = {"C:\\"};
  EXPECT_TRUE(dirCheck(frm));
  EXPECT_EQ(frm.state().appFolder, "C:\\");
  EXPECT_EQ(frm.installDirAsked, 1);
}

TEST(DirCheckDefault, AfterFiveRefusalsTheDefaultFolderIsMadeWithItsParentsOrSaidToFail) {
  for (const bool blocked : {false, true}) {
    SCOPED_TRACE(blocked ? "a file in the way" : "no Program Files");
    testing::WindowTestRig rig;
    testing::FakeInstallWindow frm{rig.services};
    frm.installDirAnswers = {"", "", "  ", "x", ""};
    ASSERT_TRUE(rig.fs.deleteFolder("C:\\Program Files", true));
    if (blocked) {
      ASSERT_TRUE(rig.fs.writeText("C:\\Program Files", "x"));
    }
    EXPECT_TRUE(dirCheck(frm));
    EXPECT_EQ(frm.installDirAsked, 5);
    ASSERT_EQ(frm.lines.size(), 8u);
    EXPECT_EQ(frm.lines[5],
              "No usable install folder was given; using C:\\Program Files\\Pelmora.");
    EXPECT_TRUE(frm.lines[6].starts_with(blocked ? "Install folder could not be created: "
                                                 : "Folder not found, newly created."))
        << frm.lines[6];
    EXPECT_EQ(frm.lines[7], kClosing);
    EXPECT_EQ(frm.state().appFolder, kDefault);
    EXPECT_EQ(rig.fs.folderExists(kDefault), !blocked);
  }
}

TEST_F(DirCheckTest, AnUnreadableRegistryIsReportedAndTheDefaultFolderLookedAt) {
  if (rig.spoilRegistry().empty())
    GTEST_SKIP() << "Windows: the real registry cannot be made unreadable for a test";
  std::filesystem::create_directories(rig.host(kDefault));
  for (const char* file : {"\\Pelmora.exe", "\\Dorvane.mdb"})
    ASSERT_TRUE(rig.fs.writeText(kDefault + std::string(file), "x"));
  EXPECT_TRUE(dirCheck(frm));
  ASSERT_EQ(frm.lines.size(), 5u);
  EXPECT_TRUE(
      frm.lines[0].starts_with("Registry value not read: HKEY_CURRENT_USER\\Software\\"
                               "Korrimel Software\\Pelmora AppPath: "))
      << frm.lines[0];
  EXPECT_EQ(Lines(frm.lines.begin() + 1, frm.lines.end()),
            (Lines{"Previous Install at : C:\\Program Files\\Pelmora", "Previous Executable found.",
                   "Previous Database found.", kClosing}));
}

}  // namespace
}  // namespace pm
