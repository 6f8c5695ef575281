#include "platform/posix/programManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "database/testDatabase.h"
#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

Strings namesIn(const fs::path& folder) {
  Strings names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class ProgramManagerTest : public ::testing::Test {
 protected:
  Status send(const std::string& command) { return manager.execute("PROGMAN", command); }
  fs::path group() const {
    return temp.machine.root() / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" /
           "Pelmora";
  }
  // Every file under the machine folder, to show that nothing landed outside the group.
  Strings allFiles() const {
    Strings files;
    for (const auto& e : fs::recursive_directory_iterator(temp.folder))
      // The machine's list of places with temporary files is bookkeeping, not an item.
      if (e.is_regular_file() && e.path().filename() != "PMSetup.leftovers")
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  }

  TempMachine temp;
  ProgramManager manager{temp.machine};
};

TEST_F(ProgramManagerTest, ASecondInstallStillHasOneItemPerTitle) {
  ASSERT_TRUE(send("[CreateGroup(Pelmora)]"));
  EXPECT_FALSE(send("[ReplaceItem(Pelmora v.1.9.5)]"));  // nothing to replace yet
  ASSERT_TRUE(send("[AddItem(C:\\Pelmora\\Pelmora.exe ,Pelmora v.1.9.5,,,)]"));
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(
        send("[CreateGroup(Pelmora)][ReplaceItem(Pelmora v.1.9.5)]"
             "[AddItem(C:\\Pelmora\\Pelmora" +
             std::to_string(run) + ".exe ,Pelmora v.1.9.5,,,)]"));
    ASSERT_TRUE(send("[CreateGroup(pelmora)]"));
    ASSERT_TRUE(send("[AddItem(C:\\Pelmora\\EULA.txt ,EULA,,,)]"));  // no ReplaceItem first
  }
  EXPECT_EQ(namesIn(group()), (Strings{"EULA.desktop", "Pelmora v.1.9.5.desktop"}));
  const auto items = manager.items("PELMORA");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].commandLine, "C:\\Pelmora\\Pelmora1.exe ");
  // A title that differs only in case is the same item.
  ASSERT_TRUE(send("[ReplaceItem(eula)]"));
  EXPECT_EQ(namesIn(group()), (Strings{"Pelmora v.1.9.5.desktop"}));
}

TEST_F(ProgramManagerTest, RendersWindowsCommandLinesForThisHost) {
  const fs::path pf = temp.machine.root() / "drive_c/Program Files/Pelmora";
  fs::create_directories(pf);
  std::ofstream(pf / "EULA.txt") << "x";
  std::ofstream(pf / "PMUninstall.exe") << "x";
  const std::string p = pf.string();
  // An unquoted path with blanks: the shortest run of words naming a file.
  EXPECT_EQ(manager.execFor("C:\\Program Files\\Pelmora\\EULA.txt "),
            "xdg-open \"" + p + "/EULA.txt\"");
  EXPECT_EQ(manager.execFor("C:\\Program Files\\Pelmora\\PMUninstall.exe /quiet 50%"),
            "\"" + p + "/PMUninstall.exe\" /quiet 50%%");
  EXPECT_EQ(manager.execFor("\"C:\\Program Files\\Pelmora\\PMUninstall.exe\" \"a b\" $HOME"),
            "\"" + p + "/PMUninstall.exe\" \"a b\" \"\\$HOME\"");
  EXPECT_EQ(manager.execFor("notepad.exe C:\\x.txt"), "notepad.exe \"C:\\\\x.txt\"");

  // The Exec= line carries the desktop-entry escapes on top of the quoting,
  // and the command line comes back exactly as sent.
  // Blanks and line breaks between commands do not matter.
  ASSERT_TRUE(send(" [CreateGroup(Pelmora)]\r\n[AddItem(notepad.exe C:\\x.txt,Notes,,,)] "));
  const std::string text = pm::testing::readFile(group() / "Notes.desktop");
  EXPECT_NE(text.find("\nExec=notepad.exe \"C:\\\\\\\\x.txt\"\n"), std::string::npos) << text;
  const auto items = manager.items("Pelmora");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].commandLine, "notepad.exe C:\\x.txt");
}

TEST_F(ProgramManagerTest, NeverWritesOutsideTheGroupFolder) {
  const Strings before = allFiles();
  for (const char* name : {"..", ".", "", "a\\..\\..\\x", "../x", "C:x", "x:", "Pel*", "x."}) {
    EXPECT_FALSE(send(std::string("[CreateGroup(") + name + ")]")) << name;
  }
  EXPECT_EQ(allFiles(), before);

  ASSERT_TRUE(send("[CreateGroup(Pelmora)]"));
  for (const char* title : {"..\\..\\..\\evil", "../../evil", "..", ".hidden", "a/b", "a_b", "/"})
    EXPECT_TRUE(send(std::string("[AddItem(C:\\x.exe,") + title + ",,,)]")) << title;
  EXPECT_EQ(namesIn(group()),
            (Strings{"_.._.._evil.desktop", "_.._evil.desktop", "_.desktop", "a_b-2.desktop",
                     "a_b.desktop", "hidden.desktop", "item.desktop"}));
  for (const std::string& f : allFiles()) EXPECT_EQ(f.rfind(group().string() + "/", 0), 0u) << f;
  // Each title still finds its own item.
  EXPECT_TRUE(send("[ReplaceItem(a/b)]"));
  EXPECT_FALSE(fs::exists(group() / "a_b.desktop"));
  EXPECT_TRUE(fs::exists(group() / "a_b-2.desktop"));
}

}  // namespace
}  // namespace pm::posix
