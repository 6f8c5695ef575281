// The previous-install validation, run the same way against the in-memory
// machine and against a real machine folder (file system and registry store on
// disk), so both agree on every report line.
#include "console/dirCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

constexpr const char* kKey = "Software\\Korrimel Software\\Pelmora";
constexpr const char* kDefault = "C:\\Program Files\\Pelmora";
const std::string kClosing = "--- Previous install validation complete.\r\n";

// The in-memory machine.
struct FakeMachine {
  testing::FakeFileSystem fs;
  testing::FakeRegistryStore registry;
  testing::FakeClock clock;
  testing::FakeProcessRunner processes;
  testing::ReadyDataSources dataSources;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{fs, clock, processes, registry, dataSources, dde, toolkit, "C:\\setup"};
};

class DirCheckTest : public ::testing::TestWithParam<bool> {
 protected:
  DirCheckTest() {
    if (real()) {
      rig_ = std::make_unique<testing::WindowTestRig>();
    } else {
      fake_ = std::make_unique<FakeMachine>();
    }
    frm = std::make_unique<testing::FakeInstallWindow>(services());
    frm->state().stepCount = 1;
  }

  bool real() const { return GetParam(); }
  Services& services() { return real() ? rig_->services : fake_->services; }
  FileSystem& fs() { return services().fs; }

  void file(const std::string& path) {
    if (real()) {
      std::filesystem::create_directories(rig_->host(path).parent_path());
      std::ofstream(rig_->host(path)) << "x";
    } else {
      fake_->fs.addFile(path, "x");
    }
  }
  void folder(const std::string& path) {
    if (real()) {
      std::filesystem::create_directories(rig_->host(path));
    } else {
      fake_->fs.addFolder(path);
    }
  }
  void removeFolder(const std::string& path) { ASSERT_TRUE(fs().deleteFolder(path, true)); }
  void setAppPath(const std::string& folder) {
    ASSERT_TRUE(services().registryStore.writeValue(RootKey::CurrentUser, kKey, "AppPath",
                                                    RegValue::string(folder)));
  }
  void previousInstall(const std::string& at, bool exe, bool db) {
    folder(at);
    if (exe) file(at + "\\Pelmora.exe");
    if (db) file(at + "\\Dorvane.mdb");
  }

  // Runs the validation; checks what holds for every run: one step more than
  // report lines, every line with the default pause.
  bool run() {
    const bool result = dirCheck(*frm);
    EXPECT_EQ(frm->state().stepCount, 1 + 1 + static_cast<int>(frm->lines.size()));
    EXPECT_EQ(frm->pauses, std::vector<std::int16_t>(frm->lines.size(), 5));
    return result;
  }

  std::unique_ptr<testing::WindowTestRig> rig_;
  std::unique_ptr<FakeMachine> fake_;
  std::unique_ptr<testing::FakeInstallWindow> frm;
};

TEST_P(DirCheckTest, WithoutAppPathTheDefaultFolderIsValidated) {
  previousInstall(kDefault, true, true);
  EXPECT_TRUE(run());
  EXPECT_EQ(frm->lines,
            (Lines{"Previous Install at : C:\\Program Files\\Pelmora", "Previous Executable found.",
                   "Previous Database found.", kClosing}));
  EXPECT_EQ(frm->state().appFolder, kDefault);
  EXPECT_EQ(frm->state().reportText.substr(frm->state().reportText.size() - 4), "\r\n\r\n");
  EXPECT_EQ(frm->installDirAsked, 0);
}

TEST_P(DirCheckTest, AMissingDatabaseIsOnlyReported) {
  setAppPath("C:\\Apps\\Pelmora");
  previousInstall("C:\\Apps\\Pelmora", true, false);
  previousInstall(kDefault, true, true);  // not looked at: the registered folder wins
  EXPECT_TRUE(run());
  EXPECT_EQ(frm->lines,
            (Lines{"Previous Install at : C:\\Apps\\Pelmora", "Previous Executable found.",
                   "Previous Database NOT found at C:\\Apps\\Pelmora\\Dorvane.mdb", kClosing}));
  EXPECT_EQ(frm->state().appFolder, "C:\\Apps\\Pelmora");
}

TEST_P(DirCheckTest, AMissingExecutableEndsTheValidationWithoutItsClosingLine) {
  setAppPath("C:\\Apps\\Pelmora");
  previousInstall("C:\\Apps\\Pelmora", false, true);
  EXPECT_FALSE(run());
  EXPECT_EQ(frm->lines, (Lines{"Previous Install at : C:\\Apps\\Pelmora",
                               "Executable not found - aborting upgrade."}));
  EXPECT_EQ(frm->state().appFolder, "C:\\Apps\\Pelmora");
  EXPECT_EQ(frm->installDirAsked, 0);
}

TEST_P(DirCheckTest, AMissingFolderIsAskedForAndCreated) {
  setAppPath("C:\\Gone\\Pelmora");
  frm->installDirAnswers = {"C:\\Pelmora 2"};
  EXPECT_TRUE(run());
  EXPECT_EQ(frm->lines, (Lines{"Folder not found, newly created.", kClosing}));
  EXPECT_EQ(frm->installDirAsked, 1);
  EXPECT_EQ(frm->state().appFolder, "C:\\Pelmora 2");
  EXPECT_TRUE(fs().folderExists("C:\\Pelmora 2"));
  EXPECT_FALSE(fs().folderExists("C:\\Gone"));
}

TEST_P(DirCheckTest, AnExistingFolderFromTheDialogIsReportedAsCreatedToo) {
  // Nothing registered and no default folder: the dialog's default is taken.
  frm->installDirAnswers = {kDefault};
  EXPECT_TRUE(run());
  EXPECT_TRUE(fs().folderExists(kDefault));

  // Named in the dialog, already there, and with a trailing separator.
  frm = std::make_unique<testing::FakeInstallWindow>(services());
  frm->state().stepCount = 1;
  setAppPath("C:\\Gone");
  folder("C:\\Data\\Pelmora");
  frm->installDirAnswers = {"C:\\Data\\Pelmora\\"};
  EXPECT_TRUE(run());
  EXPECT_EQ(frm->lines, (Lines{"Folder not found, newly created.", kClosing}));
  EXPECT_EQ(frm->state().appFolder, "C:\\Data\\Pelmora");
}

TEST_P(DirCheckTest, AFolderThatCannotBeUsedIsRefusedAndAskedForAgain) {
  setAppPath("C:\\Gone\\Pelmora");
  file("C:\\Data\\notes.txt");
  frm->installDirAnswers = {"", "Pelmora", "C:\\No\\Such\\Parent\\Pelmora", "C:\\Data\\notes.txt",
                            "C:\\Data\\Pelmora"};
  EXPECT_TRUE(run());
  const std::string again = ". Please choose another folder.";
  EXPECT_EQ(frm->lines,
            (Lines{"Install folder not accepted: (empty) - no folder was given" + again,
                   "Install folder not accepted: Pelmora - it is not a full path (for example "
                   "C:\\Program Files\\Pelmora)" +
                       again,
                   "Install folder not accepted: C:\\No\\Such\\Parent\\Pelmora - its parent "
                   "folder does not exist" +
                       again,
                   "Install folder not accepted: C:\\Data\\notes.txt - a file of that name is in "
                   "the way" +
                       again,
                   "Folder not found, newly created.", kClosing}));
  EXPECT_EQ(frm->state().appFolder, "C:\\Data\\Pelmora");
  EXPECT_TRUE(fs().folderExists("C:\\Data\\Pelmora"));
  EXPECT_FALSE(fs().folderExists("C:\\No"));
  EXPECT_FALSE(fs().folderExists("Pelmora"));
  EXPECT_TRUE(fs().fileExists("C:\\Data\\notes.txt"));
}

TEST_P(DirCheckTest, AfterFiveRefusalsTheDefaultFolderIsMadeWithItsParents) {
  setAppPath("C:\\Gone\\Pelmora");
  removeFolder("C:\\Program Files");
  frm->installDirAnswers = {"", "", "  ", "x", ""};
  EXPECT_TRUE(run());
  EXPECT_EQ(frm->installDirAsked, 5);
  ASSERT_EQ(frm->lines.size(), 8u);
  EXPECT_EQ(frm->lines[5], "No usable install folder was given; using C:\\Program Files\\Pelmora.");
  EXPECT_EQ(frm->lines[6], "Folder not found, newly created.");
  EXPECT_EQ(frm->lines[7], kClosing);
  EXPECT_EQ(frm->state().appFolder, kDefault);
  EXPECT_TRUE(fs().folderExists(kDefault));
}

TEST_P(DirCheckTest, AnUnreadableRegistryIsReportedAndTheDefaultFolderLookedAt) {
  if (real()) {
    std::ofstream(rig_->machine.registryFile("HKEY_CURRENT_USER"), std::ios::trunc)
        << "this is not a registry file\r\n";
  } else {
    fake_->registry.failReads = "the store cannot be read";
  }
  previousInstall(kDefault, true, true);
  EXPECT_TRUE(run());
  ASSERT_EQ(frm->lines.size(), 5u);
  EXPECT_EQ(
      frm->lines[0].rfind(
          "Registry value not read: HKEY_CURRENT_USER\\" + std::string(kKey) + " AppPath: ", 0),
      0u)
      << frm->lines[0];
  EXPECT_EQ(frm->lines[1], "Previous Install at : C:\\Program Files\\Pelmora");
  EXPECT_EQ(frm->lines[4], kClosing);
}

INSTANTIATE_TEST_SUITE_P(Machines, DirCheckTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Real" : "InMemory"; });

TEST(DirCheckStoreTest, ReadsTheFolderFromAStoreFileWrittenByHand) {
  testing::WindowTestRig rig;
  std::filesystem::create_directories(rig.host("C:\\Apps\\Pelmora"));
  std::ofstream(rig.host("C:\\Apps\\Pelmora\\PELMORA.EXE")) << "x";
  std::ofstream(rig.machine.registryFile("HKEY_CURRENT_USER"), std::ios::binary | std::ios::trunc)
      << "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\SOFTWARE\\Korrimel Software\\Pelmora]\r\n"
         "\"appPath\"=\"C:\\\\Apps\\\\Pelmora\"\r\n\r\n";
  testing::FakeInstallWindow frm(rig.services);
  EXPECT_TRUE(dirCheck(frm));
  EXPECT_EQ(frm.state().appFolder, "C:\\Apps\\Pelmora");
  EXPECT_EQ(frm.lines[1], "Previous Executable found.");
}

TEST(DirCheckStoreTest, ADefaultFolderThatCannotBeMadeIsSaidPlainly) {
  FakeMachine machine;
  machine.fs.interceptor = [](const std::string& op, const std::string&) {
    return op == "createFolder" ? Status::failure("Cannot create folder: disk full") : Status();
  };
  testing::FakeInstallWindow frm(machine.services);
  frm.installDirAnswers = {"", "", "", "", ""};
  EXPECT_TRUE(dirCheck(frm));
  ASSERT_EQ(frm.lines.size(), 8u);
  EXPECT_EQ(frm.lines[4],
            "Install folder not accepted: (empty) - no folder was given. Please choose another "
            "folder.");
  EXPECT_EQ(frm.lines[6], "Install folder could not be created: Cannot create folder: disk full");
  EXPECT_EQ(frm.lines[7], kClosing);
  EXPECT_EQ(frm.state().appFolder, kDefault);
}

}  // namespace
}  // namespace pm
