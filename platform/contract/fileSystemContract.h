// One set of expectations for every pm::FileSystem: the Linux machine folder's
// and the Win32 one on the real drives. Each platform instantiates the suite
// with its environments: an Env holds `fs`, makes a file read-only with
// makeReadOnly(path), holds a file open in another program with holdOpen(path)
// (the returned object lets it go), makes a link with makeLink(link, target,
// folder) (false when the system cannot make one here), says whether the
// system can remove a link it reports (removesLinks()), and says with kWindows
// whether it is a real Windows (bare drives and "/" resolve as there, short
// names exist).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/text.h"

namespace pm::contract {

using Names = std::vector<std::string>;

template <typename Env>
class FileSystemContract : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs.createFolder("C:\\ct").ok()); }
  void write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(fs.writeText(path, text).ok()) << path;
  }
  std::string read(const std::string& path) {
    auto r = fs.readText(path);
    return r ? r.value() : "<" + r.message() + ">";
  }
  // A failure whose message names the path the caller gave.
  static void expectFailureNaming(const Status& s, const std::string& path) {
    EXPECT_FALSE(s.ok()) << path;
    EXPECT_NE(s.message().find(path), std::string::npos) << s.message();
  }

  Env env;
  FileSystem& fs = env.fs;
};
TYPED_TEST_SUITE_P(FileSystemContract);

TYPED_TEST_P(FileSystemContract, FoldersAreMadeOneLevelAtATimeAndDeletedWithTheirContent) {
  auto& fs = this->fs;
  this->expectFailureNaming(fs.createFolder("C:\\ct\\a\\b"), "C:\\ct\\a\\b");
  EXPECT_FALSE(fs.folderExists("C:\\ct\\a"));
  EXPECT_TRUE(fs.createFolder("C:\\ct\\a").ok());
  EXPECT_TRUE(fs.createFolder("C:\\ct\\a\\b").ok());
  EXPECT_FALSE(fs.createFolder("c:\\CT\\A").ok());  // exists already, in another case
  EXPECT_TRUE(equalsIgnoreCase(fs.systemFolder().value(), "C:\\windows\\system32"));
  EXPECT_TRUE(fs.folderExists("C:\\windows\\system32"));

  this->write("C:\\ct\\a\\x.cab", "a");
  this->write("C:\\ct\\a\\b\\y.txt", "b");
  this->env.makeReadOnly("C:\\ct\\a\\b\\y.txt");
  this->expectFailureNaming(fs.deleteFolder("C:\\ct\\A"), "y.txt");
  EXPECT_TRUE(fs.fileExists("C:\\ct\\a\\b\\y.txt"));
  EXPECT_TRUE(fs.deleteFolder("C:\\ct\\a", true).ok());
  EXPECT_FALSE(fs.folderExists("C:\\ct\\a"));
  EXPECT_TRUE(fs.folderExists("C:\\ct"));
  EXPECT_FALSE(fs.deleteFolder("C:\\ct\\a").ok());
  this->write("C:\\ct\\file", "x");
  EXPECT_FALSE(fs.deleteFolder("C:\\ct\\file").ok());
  EXPECT_TRUE(fs.fileExists("C:\\ct\\file"));
}

TYPED_TEST_P(FileSystemContract, NamesIgnoreCaseKeepTheirCaseAndListSortedWithoutCase) {
  auto& fs = this->fs;
  ASSERT_TRUE(fs.createFolder("C:\\ct\\Mixed").ok());
  this->write("C:\\CT\\mixed\\Read Me.TXT", "one");
  this->write("C:\\ct\\mixed\\READ ME.txt", "two");  // the same file
  EXPECT_TRUE(fs.fileExists("c:/ct/MIXED/read me.txt"));
  EXPECT_EQ(fs.listFiles("C:\\ct\\Mixed").value(), Names{"Read Me.TXT"});
  EXPECT_EQ(this->read("C:\\ct\\Mixed\\Read Me.TXT"), "two");

  for (const char* name : {"b.txt", "A.txt", "c.TXT", "a0.txt"})
    this->write(std::string("C:\\ct\\") + name, name);
  EXPECT_EQ(fs.listFiles("c:\\CT").value(), (Names{"A.txt", "a0.txt", "b.txt", "c.TXT"}));
  EXPECT_FALSE(fs.listFiles("C:\\ct\\none").ok());
}

TYPED_TEST_P(FileSystemContract, TextIsStoredByteForByte) {
  auto& fs = this->fs;
  const std::string bytes = std::string("line\r\nnext\n\0end\xe9\xff", 16);
  this->write("C:\\ct\\f.bin", bytes);
  EXPECT_EQ(this->read("C:\\ct\\f.bin"), bytes);
  this->write("C:\\ct\\f.bin", "short");
  EXPECT_EQ(this->read("C:\\ct\\f.bin"), "short");
  this->write("C:\\ct\\empty", "");
  EXPECT_EQ(this->read("C:\\ct\\empty"), "");

  this->expectFailureNaming(fs.writeText("C:\\ct\\nowhere\\f.txt", "x"), "C:\\ct\\nowhere\\f.txt");
  this->expectFailureNaming(fs.readText("C:\\ct\\none.txt").status(), "C:\\ct\\none.txt");
  EXPECT_FALSE(fs.readText("C:\\ct").ok());  // a folder is no text
}

TYPED_TEST_P(FileSystemContract, ReadOnlyFilesStayUnlessForced) {
  auto& fs = this->fs;
  this->write("C:\\ct\\ro.dll", "keep");
  this->env.makeReadOnly("C:\\ct\\ro.dll");
  EXPECT_FALSE(fs.writeText("C:\\ct\\ro.dll", "lost").ok());
  this->expectFailureNaming(fs.deleteFile("C:\\ct\\RO.dll"), "C:\\ct\\RO.dll");
  EXPECT_EQ(this->read("C:\\ct\\ro.dll"), "keep");
  EXPECT_TRUE(fs.deleteFile("C:\\ct\\ro.dll", true).ok());
  EXPECT_FALSE(fs.fileExists("C:\\ct\\ro.dll"));
  EXPECT_FALSE(fs.deleteFile("C:\\ct\\ro.dll").ok());  // gone
  EXPECT_FALSE(fs.deleteFile("C:\\ct").ok());          // a folder is no file
  EXPECT_TRUE(fs.folderExists("C:\\ct"));
}

TYPED_TEST_P(FileSystemContract, CopiesKeepTimeAndAttributesAndHonourTheTarget) {
  auto& fs = this->fs;
  const DateTime stamp = DateTime::fromCivil(2003, 4, 5, 6, 7, 8);
  this->write("C:\\ct\\src.dll", "new library");
  ASSERT_TRUE(fs.setModificationTime("C:\\ct\\src.dll", stamp).ok());
  ASSERT_TRUE(fs.copyFile("C:\\ct\\SRC.DLL", "C:\\ct\\dst.dll").ok());
  EXPECT_EQ(this->read("C:\\ct\\dst.dll"), "new library");
  EXPECT_EQ(fs.modificationTime("C:\\ct\\dst.dll").value(), stamp);

  this->write("C:\\ct\\other.dll", "old");
  EXPECT_FALSE(fs.copyFile("C:\\ct\\src.dll", "C:\\ct\\other.dll", false).ok());
  EXPECT_EQ(this->read("C:\\ct\\other.dll"), "old");
  EXPECT_TRUE(fs.copyFile("C:\\ct\\src.dll", "C:\\ct\\Other.DLL", true).ok());
  EXPECT_EQ(fs.listFiles("C:\\ct").value(), (Names{"dst.dll", "other.dll", "src.dll"}));
  EXPECT_EQ(this->read("C:\\ct\\other.dll"), "new library");

  this->env.makeReadOnly("C:\\ct\\other.dll");
  this->write("C:\\ct\\src.dll", "newer");
  EXPECT_FALSE(fs.copyFile("C:\\ct\\src.dll", "C:\\ct\\other.dll", true).ok());
  EXPECT_EQ(this->read("C:\\ct\\other.dll"), "new library");
  // A read-only source gives a read-only copy, as on Windows.
  ASSERT_TRUE(fs.copyFile("C:\\ct\\other.dll", "C:\\ct\\copy.dll").ok());
  EXPECT_FALSE(fs.deleteFile("C:\\ct\\copy.dll").ok());

  EXPECT_FALSE(fs.copyFile("C:\\ct\\src.dll", "C:\\ct\\src.dll").ok());
  EXPECT_EQ(this->read("C:\\ct\\src.dll"), "newer");
  EXPECT_FALSE(fs.copyFile("C:\\ct\\none.dll", "C:\\ct\\x.dll").ok());
  EXPECT_FALSE(fs.fileExists("C:\\ct\\x.dll"));
  EXPECT_FALSE(fs.copyFile("C:\\ct\\src.dll", "C:\\ct\\nowhere\\x.dll").ok());
  EXPECT_FALSE(fs.copyFile("C:\\ct\\src.dll", "C:\\ct").ok());  // onto a folder
}

TYPED_TEST_P(FileSystemContract, WorkingFolderAbsolutePathsAndTimes) {
  auto& fs = this->fs;
  ASSERT_TRUE(fs.setWorkingFolder("c:\\CT").ok());
  EXPECT_EQ(fs.workingFolder(), "C:\\ct");
  EXPECT_FALSE(fs.setWorkingFolder("C:\\ct\\none").ok());
  EXPECT_EQ(fs.workingFolder(), "C:\\ct");
  EXPECT_EQ(fs.absolutePath("sub\\..\\x/./y\\"), "C:\\ct\\x\\y");
  EXPECT_EQ(fs.absolutePath("\\Program Files"), "C:\\Program Files");
  EXPECT_EQ(fs.absolutePath("c:\\a\\..\\..\\b"), "C:\\b");
  // A bare drive is the drive's root (the folder of a program at the root of
  // a drive is held as "D:"), never, as Windows alone would read it, the
  // drive's current folder.
  EXPECT_EQ(fs.absolutePath("C:"), "C:\\");
  if constexpr (TypeParam::kWindows) {
    // Wine differs: it takes "/usr/bin" for the host's path and answers with its
    // Z: name.
    EXPECT_EQ(fs.absolutePath("/usr/bin"), this->env.underWine() ? "Z:\\usr\\bin" : "C:\\usr\\bin");
  } else {
    EXPECT_EQ(fs.absolutePath("/usr/bin"), "Z:\\usr\\bin");  // the host's "/" is Z:
  }
  ASSERT_TRUE(fs.setWorkingFolder("C:").ok());
  EXPECT_EQ(fs.workingFolder(), "C:\\");
  ASSERT_TRUE(fs.setWorkingFolder("C:\\ct").ok());
  this->write("rel.txt", "relative");
  EXPECT_EQ(this->read("C:\\ct\\rel.txt"), "relative");

  for (DateTime t : {DateTime::fromCivil(1990, 1, 1), DateTime::fromCivil(2026, 7, 1, 12, 0, 59)}) {
    ASSERT_TRUE(fs.setModificationTime("C:\\ct\\REL.txt", t).ok());
    EXPECT_EQ(fs.modificationTime("c:\\ct\\rel.txt").value(), t);
  }
  EXPECT_FALSE(fs.modificationTime("C:\\ct\\none").ok());
  EXPECT_FALSE(fs.setModificationTime("C:\\ct\\none", DateTime{}).ok());
  // Only Windows keeps short names.
  EXPECT_EQ(fs.shortPath("C:\\ct\\rel.txt").ok(), TypeParam::kWindows);
}

TYPED_TEST_P(FileSystemContract, RenamesNeverReplaceAndContentsCompareByteForByte) {
  auto& fs = this->fs;
  const std::string backup = "C:\\ct\\DorvaneBKUP.mdb", kept = "C:\\ct\\DorvaneBKUP.1.mdb";
  this->write(backup, "older data");
  this->write("C:\\ct\\taken.mdb", "taken");
  this->env.makeReadOnly(backup);
  this->expectFailureNaming(fs.renameFile(backup, "C:\\ct\\taken.mdb"), "C:\\ct\\taken.mdb");
  EXPECT_EQ(this->read("C:\\ct\\taken.mdb"), "taken");
  // A read-only file moves, attribute and all; then it can be made writable.
  ASSERT_TRUE(fs.renameFile(backup, kept).ok());
  EXPECT_FALSE(fs.fileExists(backup));
  EXPECT_EQ(this->read(kept), "older data");
  EXPECT_TRUE(fs.isReadOnly(kept));
  ASSERT_TRUE(fs.clearReadOnly(kept).ok());
  EXPECT_FALSE(fs.isReadOnly(kept));
  this->write(kept, "writable");
  EXPECT_FALSE(fs.renameFile("C:\\ct\\none.mdb", "C:\\ct\\other.mdb").ok());
  ASSERT_TRUE(fs.createFolder("C:\\ct\\sub").ok());
  EXPECT_FALSE(fs.renameFile("C:\\ct\\sub", "C:\\ct\\moved").ok());
  EXPECT_FALSE(fs.clearReadOnly("C:\\ct\\sub").ok());
  EXPECT_FALSE(fs.isReadOnly("C:\\ct\\none.mdb"));

  // Sizes that end inside and at the edge of a read chunk.
  const std::string big(3 << 16, 'd');
  struct Row {
    std::string a, b;
    bool same;
  };
  for (const Row& row : std::vector<Row>{{"same bytes", "same bytes", true},
                                         {"same bytes", "same bytez", false},
                                         {"same bytes", "same bytes!", false},
                                         {"", "", true},
                                         {big, big, true},
                                         {big, big.substr(1) + "e", false}}) {
    this->write("C:\\ct\\a.bin", row.a);
    this->write("C:\\ct\\b.bin", row.b);
    const auto same = fs.sameContent("C:\\ct\\a.bin", "C:\\ct\\B.BIN");
    ASSERT_TRUE(same.ok()) << same.message();
    EXPECT_EQ(same.value(), row.same) << row.a.size() << " " << row.b.size();
  }
  this->expectFailureNaming(fs.sameContent("C:\\ct\\a.bin", "C:\\ct\\none").status(),
                            "C:\\ct\\none");
}

TYPED_TEST_P(FileSystemContract, AFileHeldOpenElsewhereIsInUse) {
  auto& fs = this->fs;
  this->write("C:\\ct\\Dorvane.mdb", "data");
  EXPECT_FALSE(fs.inUse("C:\\ct\\Dorvane.mdb"));
  {
    const auto held = this->env.holdOpen("C:\\ct\\Dorvane.mdb");
    EXPECT_TRUE(fs.inUse("C:\\ct\\dorvane.MDB"));
  }
  EXPECT_FALSE(fs.inUse("C:\\ct\\Dorvane.mdb"));
  EXPECT_FALSE(fs.inUse("C:\\ct\\none.mdb"));
}

TYPED_TEST_P(FileSystemContract, PrivateTemporaryFoldersAreNewEmptyAndWritable) {
  auto& fs = this->fs;
  const auto a = fs.createPrivateTempFolder("PMUpTemp", false);
  const auto b = fs.createPrivateTempFolder("PMUpTemp", false);
  ASSERT_TRUE(a.ok()) << a.message();
  ASSERT_TRUE(b.ok()) << b.message();
  EXPECT_NE(a.value(), b.value());
  for (const std::string& folder : {a.value(), b.value()}) {
    EXPECT_EQ(fs.absolutePath(folder), folder);
    EXPECT_TRUE(folder.substr(folder.find_last_of('\\') + 1).starts_with("PMUpTemp-")) << folder;
    EXPECT_TRUE(fs.listFiles(folder).value().empty());
    EXPECT_TRUE(fs.folderWritable(folder));
    EXPECT_TRUE(fs.deleteFolder(folder).ok());
  }
  // Asking leaves nothing behind.
  EXPECT_TRUE(fs.folderWritable("C:\\ct"));
  EXPECT_EQ(fs.listFiles("C:\\ct").value(), Names{});
  EXPECT_FALSE(fs.folderWritable("C:\\ct\\none"));
  this->write("C:\\ct\\file", "x");
  EXPECT_FALSE(fs.folderWritable("C:\\ct\\file"));
}

// A lock file is the lock of one holder at a time, goes with its lock, and
// never takes over (or deletes) what it does not know as its own.
TYPED_TEST_P(FileSystemContract, ALockFileHasOneHolderAndTakesOverNothingElse) {
  auto& fs = this->fs;
  const std::string lock = "C:\\ct\\PMUpTemp.lock";
  {
    auto held = fs.lockFile(lock);
    ASSERT_TRUE(held.ok()) << held.message();
    this->expectFailureNaming(fs.lockFile(lock).status(), lock);
  }
  EXPECT_FALSE(fs.fileExists(lock));
  ASSERT_TRUE(fs.createFolder("C:\\ct\\victim").ok());
  const struct {
    const char* content;  // nullptr: a link to a folder; "/": a folder
    bool taken;
  } rows[] = {{"", true},  // its holder was killed before it wrote
              {"PMSetup installer lock, held by computer A, process 1\n", true},
              {"the user's notes\n", false},
              {"/", false},
              {nullptr, false}};
  for (const auto& row : rows) {
    const std::string what = row.content ? row.content : "a link";
    if (!row.content) {
      if (!this->env.makeLink(lock, "C:\\ct\\victim", true)) continue;
    } else if (what == "/") {
      ASSERT_TRUE(fs.createFolder(lock).ok());
    } else {
      this->write(lock, what);
    }
    EXPECT_EQ(fs.lockFile(lock).ok(), row.taken) << what;
    EXPECT_EQ(fs.fileExists(lock) || fs.folderExists(lock), !row.taken) << what;
    if (row.content && !row.taken && what != "/") {
      EXPECT_EQ(this->read(lock), what);
    }
    if (what == "/") {
      (void)fs.deleteFolder(lock);
    } else if (row.content) {
      (void)fs.deleteFile(lock);
    }
  }
  EXPECT_TRUE(fs.folderExists("C:\\ct\\victim"));
}

// A link planted where the installer deletes (its temporary folder, a file in
// it) goes as a link; what it points to is never touched.
TYPED_TEST_P(FileSystemContract, LinksAreRemovedAsLinksNeverFollowed) {
  auto& fs = this->fs;
  ASSERT_TRUE(fs.createFolder("C:\\ct\\victim").ok());
  this->write("C:\\ct\\victim\\Pelmora.CAB", "the user's");
  ASSERT_TRUE(fs.createFolder("C:\\ct\\outer").ok());
  if (!this->env.makeLink("C:\\ct\\PMUpTemp", "C:\\ct\\victim", true) ||
      !this->env.makeLink("C:\\ct\\outer\\inner", "C:\\ct\\victim", true))
    GTEST_SKIP() << "this system cannot make a link here";
  EXPECT_TRUE(fs.isLink("C:\\ct\\PMUpTemp"));
  EXPECT_TRUE(fs.folderExists("C:\\ct\\PMUpTemp"));  // seen through
  EXPECT_FALSE(fs.isLink("C:\\ct\\victim"));
  EXPECT_FALSE(fs.isLink("C:\\ct\\none"));

  const bool removes = this->env.removesLinks();
  EXPECT_EQ(fs.deleteFolder("C:\\ct\\outer", true).ok(), removes);
  EXPECT_EQ(fs.folderExists("C:\\ct\\outer"), !removes);
  EXPECT_EQ(fs.deleteFolder("C:\\ct\\PMUpTemp").ok(), removes);
  EXPECT_EQ(fs.isLink("C:\\ct\\PMUpTemp"), !removes);
  EXPECT_EQ(fs.listFiles("C:\\ct\\victim").value(), Names{"Pelmora.CAB"});
  EXPECT_EQ(this->read("C:\\ct\\victim\\Pelmora.CAB"), "the user's");

  if (!this->env.makeLink("C:\\ct\\Eula.txt", "C:\\ct\\victim\\Pelmora.CAB", false)) return;
  EXPECT_TRUE(fs.isLink("C:\\ct\\Eula.txt"));
  EXPECT_TRUE(fs.deleteFile("C:\\ct\\Eula.txt", true).ok());
  EXPECT_FALSE(fs.isLink("C:\\ct\\Eula.txt"));
  EXPECT_EQ(this->read("C:\\ct\\victim\\Pelmora.CAB"), "the user's");
}

REGISTER_TYPED_TEST_SUITE_P(
    FileSystemContract, FoldersAreMadeOneLevelAtATimeAndDeletedWithTheirContent,
    NamesIgnoreCaseKeepTheirCaseAndListSortedWithoutCase, TextIsStoredByteForByte,
    ReadOnlyFilesStayUnlessForced, CopiesKeepTimeAndAttributesAndHonourTheTarget,
    WorkingFolderAbsolutePathsAndTimes, RenamesNeverReplaceAndContentsCompareByteForByte,
    AFileHeldOpenElsewhereIsInUse, PrivateTemporaryFoldersAreNewEmptyAndWritable,
    ALockFileHasOneHolderAndTakesOverNothingElse, LinksAreRemovedAsLinksNeverFollowed);

}  // namespace pm::contract
