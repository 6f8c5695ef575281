#include "platform/posix/programManager.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class ProgramManagerTest : public ::testing::Test {
 protected:
  ProgramManagerTest()
      : root(fs::temp_directory_path() / ("pmprogman-" + std::to_string(std::random_device{}()))),
        machine(root),
        manager(machine) {}
  ~ProgramManagerTest() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  Status send(const std::string& command) { return manager.execute("PROGMAN", command); }
  fs::path programs() const {
    return root / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs";
  }
  void makeFile(const std::string& windowsPath, bool executable = false) {
    const fs::path host = machine.toHost(windowsPath);
    fs::create_directories(host.parent_path());
    std::ofstream(host) << "x";
    if (executable) fs::permissions(host, fs::perms::owner_exec, fs::perm_options::add);
  }
  // Everything under the machine folder, to show that nothing landed outside the group.
  Strings allFiles() const {
    Strings files;
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file()) files.push_back(fs::relative(e.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  fs::path root;
  Machine machine;
  ProgramManager manager;
};

TEST(ProgManCommandsTest, ReadsBracketedCommands) {
  auto parsed = parseProgManCommands(
      " [CreateGroup(Pelmora)] [ReplaceItem(A (b))]\r\n[AddItem(C:\\x.exe ,Title,,,)][Reload]");
  ASSERT_TRUE(parsed) << parsed.message();
  const auto& c = parsed.value();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0].name, "CreateGroup");
  EXPECT_EQ(c[0].arguments, (Strings{"Pelmora"}));
  EXPECT_EQ(c[1].arguments, (Strings{"A (b)"}));
  EXPECT_EQ(c[2].arguments, (Strings{"C:\\x.exe ", "Title", "", "", ""}));
  EXPECT_EQ(c[3].name, "Reload");
  EXPECT_TRUE(c[3].arguments.empty());

  for (const char* bad : {"", "  ", "CreateGroup(x)", "[CreateGroup(x)", "[CreateGroup(x]",
                          "[CreateGroup(x)] trailing", "[(x)]", "[Create Group(x)]"}) {
    EXPECT_FALSE(parseProgManCommands(bad)) << bad;
  }
}

TEST_F(ProgramManagerTest, WritesOneDesktopFilePerItem) {
  ASSERT_TRUE(send("[CreateGroup(Pelmora)]"));
  EXPECT_FALSE(send("[ReplaceItem(Pelmora v.1.9.5)]"));  // nothing to replace yet
  ASSERT_TRUE(send("[AddItem(C:\\Pelmora\\Pelmora.exe ,Pelmora v.1.9.5,,,)]"));

  const fs::path group = programs() / "Pelmora";
  EXPECT_EQ(namesIn(group), (Strings{"Pelmora v.1.9.5.desktop"}));
  const std::string host = (root / "drive_c/Pelmora/Pelmora.exe").string();
  EXPECT_EQ(readAll(group / "Pelmora v.1.9.5.desktop"),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Pelmora v.1.9.5\n"
            "Exec=" +
                host +
                "\n"
                "Terminal=false\n"
                "X-PMSetup-CommandLine=C:\\\\Pelmora\\\\Pelmora.exe\\s\n");

  // Twice over, as a second install does: still one item per title.
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(
        send("[CreateGroup(Pelmora)][ReplaceItem(Pelmora v.1.9.5)]"
             "[AddItem(C:\\Pelmora\\Pelmora2.exe ,Pelmora v.1.9.5,,,)]"));
    ASSERT_TRUE(send("[CreateGroup(pelmora)]"));
    ASSERT_TRUE(send("[AddItem(C:\\Pelmora\\EULA.txt ,EULA,,,)]"));  // no ReplaceItem first
  }
  EXPECT_EQ(namesIn(group), (Strings{"EULA.desktop", "Pelmora v.1.9.5.desktop"}));
  const auto items = manager.items("PELMORA");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].commandLine, "C:\\Pelmora\\Pelmora2.exe ");
  // A title that differs only in case is the same item.
  ASSERT_TRUE(send("[ReplaceItem(eula)]"));
  EXPECT_EQ(namesIn(group), (Strings{"Pelmora v.1.9.5.desktop"}));
}

TEST_F(ProgramManagerTest, RendersWindowsCommandLinesForThisHost) {
  makeFile("C:\\Program Files\\Pelmora\\EULA.txt");
  makeFile("C:\\Program Files\\Pelmora\\PMUninstall.exe");
  makeFile("C:\\Tools\\run", true);
  const std::string pf = (root / "drive_c/Program Files/Pelmora").string();

  // An unquoted path with blanks: the shortest run of words naming a file.
  EXPECT_EQ(manager.execFor("C:\\Program Files\\Pelmora\\EULA.txt "),
            "xdg-open \"" + pf + "/EULA.txt\"");
  EXPECT_EQ(manager.execFor("C:\\Program Files\\Pelmora\\PMUninstall.exe /quiet 50%"),
            "\"" + pf + "/PMUninstall.exe\" /quiet 50%%");
  EXPECT_EQ(manager.execFor("\"C:\\Program Files\\Pelmora\\PMUninstall.exe\" \"a b\" $HOME"),
            "\"" + pf + "/PMUninstall.exe\" \"a b\" \"\\$HOME\"");
  EXPECT_EQ(manager.execFor("C:\\Tools\\run x"), (root / "drive_c/Tools/run").string() + " x");
  EXPECT_EQ(manager.execFor("notepad.exe C:\\x.txt"), "notepad.exe \"C:\\\\x.txt\"");

  // The Exec= line carries the desktop-entry escapes on top of the quoting,
  // and the command line comes back exactly as sent.
  ASSERT_TRUE(send("[CreateGroup(Pelmora)]"));
  ASSERT_TRUE(send("[AddItem(notepad.exe C:\\x.txt,Notes,,,)]"));
  const std::string text = readAll(programs() / "Pelmora" / "Notes.desktop");
  EXPECT_NE(text.find("\nExec=notepad.exe \"C:\\\\\\\\x.txt\"\n"), std::string::npos) << text;
  const auto items = manager.items("Pelmora");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].commandLine, "notepad.exe C:\\x.txt");
  EXPECT_EQ(items[0].exec, "notepad.exe \"C:\\\\x.txt\"");
}

TEST_F(ProgramManagerTest, NeverWritesOutsideTheGroupFolder) {
  const Strings before = allFiles();
  for (const char* group : {"..", ".", "", "a\\..\\..\\x", "../x", "C:x", "x:", "Pel*", "x."}) {
    EXPECT_FALSE(send(std::string("[CreateGroup(") + group + ")]")) << group;
  }
  EXPECT_EQ(allFiles(), before);

  ASSERT_TRUE(send("[CreateGroup(Pelmora)]"));
  for (const char* title : {"..\\..\\..\\evil", "../../evil", "..", ".hidden", "a/b", "a_b", "/"})
    EXPECT_TRUE(send(std::string("[AddItem(C:\\x.exe,") + title + ",,,)]")) << title;
  EXPECT_EQ(namesIn(programs() / "Pelmora"),
            (Strings{"_.._.._evil.desktop", "_.._evil.desktop", "_.desktop", "a_b-2.desktop",
                     "a_b.desktop", "hidden.desktop", "item.desktop"}));
  for (const std::string& f : allFiles())
    EXPECT_EQ(f.rfind("drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelmora/", 0), 0u)
        << f;
  // Each title still finds its own item.
  EXPECT_TRUE(send("[ReplaceItem(a/b)]"));
  EXPECT_FALSE(fs::exists(programs() / "Pelmora" / "a_b.desktop"));
  EXPECT_TRUE(fs::exists(programs() / "Pelmora" / "a_b-2.desktop"));
}

TEST_F(ProgramManagerTest, RefusesWhatItCannotDo) {
  EXPECT_FALSE(manager.acceptsTopic("SYSTEM"));
  EXPECT_FALSE(manager.execute("SYSTEM", "[CreateGroup(x)]"));
  // No current group yet.
  EXPECT_FALSE(send("[AddItem(C:\\x.exe,x,,,)]"));
  EXPECT_FALSE(send("[ReplaceItem(x)]"));
  ASSERT_TRUE(send("[CreateGroup(Pelmora)]"));
  EXPECT_FALSE(send("[ShowGroup(Pelmora,1)]"));
  EXPECT_FALSE(send("[AddItem()]"));
  // A failing command stops the request: the item after it is not made.
  EXPECT_FALSE(send("[DeleteGroup(Pelmora)][AddItem(C:\\x.exe,x,,,)]"));
  EXPECT_TRUE(manager.items("Pelmora").empty());
  // A group folder that vanished under the service.
  fs::remove_all(programs() / "Pelmora");
  EXPECT_FALSE(send("[AddItem(C:\\x.exe,x,,,)]"));
}

}  // namespace
}  // namespace pm::posix
