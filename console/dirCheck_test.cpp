// The previous-install validation on an in-memory machine (the file system and
// registry contract suites keep it as strict as a real one).
#include "console/dirCheck.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
#include "tests/fakeInstallWindow.h"
#include "tests/fakeProcessRunner.h"
#include "tests/fakeRegistryStore.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kDefault = "C:\\Program Files\\Pelmora";
const std::string kClosing = "--- Previous install validation complete.\r\n";
const std::string kAgain = ". Please choose another folder.";

// A machine with a complete installation in the default folder.
struct Machine {
  testing::FakeFileSystem fs;
  testing::FakeRegistryStore registry;
  testing::FakeClock clock;
  testing::FakeProcessRunner processes;
  testing::ReadyDataSources dataSources;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{fs, clock, processes, registry, dataSources, dde, toolkit, "C:\\setup"};
  testing::FakeInstallWindow frm{services};

  Machine() {
    install(kDefault, true, true);
    frm.state().stepCount = 1;
  }
  void install(const std::string& at, bool exe, bool db) {
    fs.addFolder(at);
    if (exe) fs.addFile(at + "\\Pelmora.exe", "x");
    if (db) fs.addFile(at + "\\Dorvane.mdb", "x");
  }
  void registered(const std::string& folder) {
    registry.set(RootKey::CurrentUser, "Software\\Korrimel Software\\Pelmora", "AppPath",
                 RegValue::string(folder));
  }
  // Runs the validation; every run takes one step more than it writes lines,
  // and every line has the default pause.
  bool run() {
    const bool result = dirCheck(frm);
    EXPECT_EQ(frm.state().stepCount, 2 + static_cast<int>(frm.lines.size()));
    EXPECT_EQ(frm.pauses, std::vector<std::int16_t>(frm.lines.size(), 5));
    return result;
  }
};

TEST(DirCheckTest, ValidatesTheRegisteredFolderOrAsksForOne) {
  struct Setup {
    const char* appPath;  // empty: none registered
    bool exe, db;         // what C:\Apps\Pelmora holds
    const char* answer;   // to the folder dialog, if it is asked
  };
  const struct {
    Setup setup;
    Lines lines;
    const char* appFolder;
  } cases[] = {
      {{"", true, true, ""},
       {"Previous Install at : C:\\Program Files\\Pelmora", "Previous Executable found.",
        "Previous Database found.", kClosing},
       kDefault},
      {{"C:\\Apps\\Pelmora", true, false, ""},
       {"Previous Install at : C:\\Apps\\Pelmora", "Previous Executable found.",
        "Previous Database NOT found at C:\\Apps\\Pelmora\\Dorvane.mdb", kClosing},
       "C:\\Apps\\Pelmora"},
      {{"C:\\Apps\\Pelmora", false, true, ""},
       {"Previous Install at : C:\\Apps\\Pelmora", "Executable not found - aborting upgrade."},
       "C:\\Apps\\Pelmora"},
      {{"C:\\Gone\\Pelmora", false, false, "C:\\Pelmora 2"},
       {"Folder not found, newly created.", kClosing},
       "C:\\Pelmora 2"},
      // An existing folder named with a trailing separator is "created" too.
      {{"C:\\Gone", false, false, "C:\\Apps\\Pelmora\\"},
       {"Folder not found, newly created.", kClosing},
       "C:\\Apps\\Pelmora"},
  };
  for (const auto& [setup, lines, appFolder] : cases) {
    SCOPED_TRACE(std::string(setup.appPath) + " " + setup.answer);
    Machine m;
    if (*setup.appPath) m.registered(setup.appPath);
    m.install("C:\\Apps\\Pelmora", setup.exe, setup.db);
    m.frm.installDirAnswers = {setup.answer};
    EXPECT_EQ(m.run(), lines.back() == kClosing);
    EXPECT_EQ(m.frm.lines, lines);
    EXPECT_EQ(m.frm.state().appFolder, appFolder);
    EXPECT_EQ(m.frm.installDirAsked, *setup.answer ? 1 : 0);
    EXPECT_TRUE(m.fs.folderExists(appFolder));
    EXPECT_FALSE(m.fs.folderExists("C:\\Gone"));
  }
}

TEST(DirCheckTest, AFolderThatCannotBeUsedIsRefusedAndAskedForAgain) {
  Machine m;
  m.registered("C:\\Gone\\Pelmora");
  m.fs.addFile("C:\\Data\\notes.txt", "x");
  m.frm.installDirAnswers = {"", "Pelmora", "C:\\No\\Such\\Parent\\Pelmora", "C:\\Data\\notes.txt",
                             "C:\\Data\\Pelmora"};
  EXPECT_TRUE(m.run());
  Lines expected;
  for (const char* refusal :
       {"(empty) - no folder was given",
        "Pelmora - it is not a full path (for example C:\\Program Files\\Pelmora)",
        "C:\\No\\Such\\Parent\\Pelmora - its parent folder does not exist",
        "C:\\Data\\notes.txt - a file of that name is in the way"}) {
    expected.push_back(std::string("Install folder not accepted: ") + refusal + kAgain);
  }
  expected.insert(expected.end(), {"Folder not found, newly created.", kClosing});
  EXPECT_EQ(m.frm.lines, expected);
  EXPECT_EQ(m.frm.state().appFolder, "C:\\Data\\Pelmora");
  EXPECT_TRUE(m.fs.folderExists("C:\\Data\\Pelmora"));
  EXPECT_FALSE(m.fs.folderExists("C:\\No"));
  EXPECT_FALSE(m.fs.folderExists("Pelmora"));
  EXPECT_TRUE(m.fs.fileExists("C:\\Data\\notes.txt"));
}

TEST(DirCheckTest, AfterFiveRefusalsTheDefaultFolderIsMadeWithItsParentsOrSaidToFail) {
  for (const bool diskFull : {false, true}) {
    Machine m;
    m.registered("C:\\Gone\\Pelmora");
    ASSERT_TRUE(m.fs.deleteFolder("C:\\Program Files", true));
    if (diskFull) {
      m.fs.interceptor = [](const std::string& op, const std::string&) {
        return op == "createFolder" ? Status::failure("Cannot create folder: disk full") : Status();
      };
    }
    m.frm.installDirAnswers = {"", "", "  ", "x", ""};
    EXPECT_TRUE(m.run());
    EXPECT_EQ(m.frm.installDirAsked, 5);
    ASSERT_EQ(m.frm.lines.size(), 8u);
    EXPECT_EQ(m.frm.lines[5],
              "No usable install folder was given; using C:\\Program Files\\Pelmora.");
    EXPECT_EQ(m.frm.lines[6],
              diskFull ? "Install folder could not be created: Cannot create folder: disk full"
                       : "Folder not found, newly created.");
    EXPECT_EQ(m.frm.lines[7], kClosing);
    EXPECT_EQ(m.frm.state().appFolder, kDefault);
    EXPECT_EQ(m.fs.folderExists(kDefault), !diskFull);
  }
}

TEST(DirCheckTest, AnUnreadableRegistryIsReportedAndTheDefaultFolderLookedAt) {
  Machine m;
  m.registry.failReads = "the store cannot be read";
  EXPECT_TRUE(m.run());
  EXPECT_EQ(m.frm.lines,
            (Lines{"Registry value not read: HKEY_CURRENT_USER\\Software\\Korrimel "
                   "Software\\Pelmora AppPath: the store cannot be read RegistryHelper "
                   "-2147467259",
                   "Previous Install at : C:\\Program Files\\Pelmora", "Previous Executable found.",
                   "Previous Database found.", kClosing}));
}

}  // namespace
}  // namespace pm
