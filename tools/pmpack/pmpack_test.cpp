// PMPack against real files and our real Cabarc: the description's errors, the
// checks before a build, two builds compared, and the installer's own check of
// the seal on folders damaged in the ways "Cabarc T" cannot see.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "packages/seal.h"
#include "packages/sha256.h"
#include "platform/posix/posixFileSystem.h"
#include "tools/pmpack/pmpack.h"
#include "tools/testing/toolRun.h"

namespace {

namespace fs = std::filesystem;
using namespace pm::pmpack;
using pm::tooltest::runTool;
using pm::tooltest::TempDir;
using pm::tooltest::writeFile;

constexpr const char* kDescription =
    "version = 1.9.5\n"
    "agreement = Eula.txt\n"
    "[Pelmora.CAB]\n"
    "folder = Pelmora\n"
    "install Pelmora.exe\n"
    "install Read me.txt\n"
    "file Dorvane.mdb\n"
    "[PLMLibrary.CAB]\n"
    "folder = PLMLibrary\n"
    "install \"plmgrid.ocx\"\n"
    "install plmcal32.dll < ../built/cal.dll\n"
    "[PLMHelp.CAB]\n"
    "install content.pmh < PLMHelp/content.pmh\n";

// A release folder with the files kDescription names, and fake programs.
struct ReleaseFolder {
  TempDir dir;
  ReleaseFolder() {
    for (const char* f :
         {"Pelmora/Pelmora.exe", "Pelmora/Read me.txt", "Pelmora/Dorvane.mdb",
          "PLMLibrary/plmgrid.ocx", "built/cal.dll", "PLMHelp/content.pmh", "Eula.txt"})
      writeFile(dir / f, std::string("the file ") + f + "\n");
    for (const std::string& p : shippedPrograms(false)) writeFile(dir / "bin" / p, p);
  }
  std::vector<std::string> pack(const std::string& description, const std::string& out,
                                std::string* err = nullptr, bool replace = false,
                                fs::path cabarc = pm::tooltest::buildBin() / "Cabarc") {
    writeFile(dir / "release.ini", description);
    std::ostringstream o, e;
    std::vector<std::string> args{"--programs", (dir / "bin").string(), "--cabarc",
                                  cabarc.string()};
    if (replace) args.push_back("--replace");
    args.push_back((dir / "release.ini").string());
    args.push_back((dir / out).string());
    const int code = runPmpack(args, o, e);
    if (err) *err = e.str();
    return {std::to_string(code), e.str()};
  }
};

TEST(ReleaseDescription, RefusesWhatItCannotRead) {
  const struct {
    std::string text, error;
  } cases[] = {
      {"version = 1\ncolour = red\n", "r.ini:2: unknown key \"colour\""},
      {"version = 1\nversion = 2\n", "r.ini:2: \"version\" is given twice"},
      {"version = 1\ninstall a.dll\n", "r.ini:2: expected \"key = value\""},
      {"[Other.CAB]\n", "r.ini:1: unknown cabinet [Other.CAB]"},
      {"[PLMHelp.CAB]\n[plmhelp.cab]\n", "r.ini:2: [PLMHelp.CAB] is given twice"},
      {"[PLMHelp.CAB]\ninstall \"a.htm\n", "r.ini:2: a double quote out of place"},
      {"[PLMHelp.CAB]\ninstall a.htm <\n", "r.ini:2: a file is missing after \"<\""},
      {"[PLMHelp.CAB]\ninstall a.htm\nfolder = x\n", "r.ini:3: \"folder\" must come before"},
      {"version = 1\n", "r.ini: \"agreement\" is missing"},
      {"version = 1\nagreement = E.txt\n[PLMHelp.CAB]\n", "the section [Pelmora.CAB] is missing"},
  };
  for (const auto& c : cases) {
    const auto r = parseRelease(c.text, "r.ini", "/rel");
    ASSERT_FALSE(r) << c.text;
    EXPECT_NE(r.message().find(c.error), std::string::npos) << c.text << "\n" << r.message();
  }
  // Names with a blank, and names quoted in the description, are quoted in the list.
  const auto r = parseRelease(kDescription, "r.ini", "/rel");
  ASSERT_TRUE(r) << r.message();
  EXPECT_EQ(listText(r->cabinets[0]), "Pelmora.exe\r\n\"Read me.txt\"\r\n");
  EXPECT_EQ(listText(r->cabinets[1]), "\"plmgrid.ocx\"\r\nplmcal32.dll\r\n");
  EXPECT_EQ(r->cabinets[1].members[1].source, fs::path("/rel/PLMLibrary/../built/cal.dll"));
}

TEST(PMPack, RefusesAReleaseThatWouldFailOnTheUsersMachine) {
  ReleaseFolder rel;
  writeFile(rel.dir / "Pelmora/huge.bin", "");
  fs::resize_file(rel.dir / "Pelmora/huge.bin", kLargestFolder + 1);  // sparse
  const std::string base = kDescription;
  const std::string noDatabase =
      base.substr(0, base.find("file Dorvane.mdb\n")) + base.substr(base.find("[PLMLibrary.CAB]"));
  const struct {
    std::string description, error;
  } cases[] = {
      {base + "install gone.htm\n",
       ":14: gone.htm: " + (rel.dir / "gone.htm").string() + " does not exist"},
      {base + "install Content.PMH < PLMHelp/content.pmh\n",
       ":14: Content.PMH: differs only in letter case from content.pmh (line 13)"},
      {base + "install CON.htm\n", ":14: CON.htm: the name is a Windows device name"},
      {base + "install lpt1\n", ":14: lpt1: the name is a Windows device name"},
      {base + "install a.htm.\n", ":14: a.htm.: the name ends in a dot"},
      {base + "install a:b.htm\n", ":14: a:b.htm: the name holds \":\""},
      {base + "install a\tb.htm\n", "the name holds a control character"},
      {base + "install ../content.pmh\n", "the name is a path"},
      {base + "install -x.htm\n", "which the cabinet tool takes for an option"},
      {base + "install help.txt < PLMHelp/content.pmh\n", "PMPack writes the list files"},
      {base + "file huge.bin < Pelmora/huge.bin\n", "huge.bin has 2147450881 bytes"},
      {noDatabase, ":3: Pelmora.CAB: the blank database Dorvane.mdb is missing"},
      {base + "[PLMLibrary.CAB]\n", ":14: [PLMLibrary.CAB] is given twice"},
  };
  for (const auto& c : cases) {
    const auto got = rel.pack(c.description, "setup");
    EXPECT_EQ(got[0], "1") << c.description;
    EXPECT_NE(got[1].find(c.error), std::string::npos) << c.error << "\n" << got[1];
    EXPECT_FALSE(fs::exists(rel.dir / "setup"));
  }
  // --replace never removes the release, nor a folder PMPack did not make.
  EXPECT_NE(rel.pack(base, "Pelmora/..", nullptr, true)[1].find("holds the release"),
            std::string::npos);
  EXPECT_NE(rel.pack(base, "bin", nullptr, true)[1].find("it is left alone"), std::string::npos);
  EXPECT_TRUE(fs::exists(rel.dir / "bin/PMSetup"));
  // A cabinet tool that leaves out the last file it is given.
  writeFile(
      rel.dir / "dropLast",
      "#!/bin/bash\nexec " + (pm::tooltest::buildBin() / "Cabarc").string() + " \"${@:1:$#-1}\"\n");
  fs::permissions(rel.dir / "dropLast", fs::perms::owner_all);
  EXPECT_NE(rel.pack(base, "setup", nullptr, false, rel.dir / "dropLast")[1].find(
                ":8: library.txt names plmcal32.dll, which PLMLibrary.CAB does not hold"),
            std::string::npos);
  std::string base2 = base;
  base2.replace(base2.find("file Dorvane.mdb"), 4, "install");
  EXPECT_NE(rel.pack(base2, "setup")[1].find("must be \"file\", not \"install\""),
            std::string::npos);
}

// Flips the lowest bit of the size of the second member in a cabinet's file
// table: no data block changes, so "Cabarc T" passes.
void flipSecondMemberSize(const fs::path& cabinet) {
  std::string bytes = pm::testing::readFile(cabinet);
  const auto entries = pm::cabinetEntries(bytes);
  ASSERT_TRUE(entries && entries->size() >= 2);
  std::size_t at = static_cast<unsigned char>(bytes[16]) | static_cast<unsigned char>(bytes[17])
                                                               << 8;
  at += 16 + entries->at(0).name.size() + 1;
  bytes[at] = static_cast<char>(bytes[at] ^ 1);
  pm::testing::writeFile(cabinet, bytes);
}

TEST(PMPack, BuildsTheSameSealedFolderTwiceAndTheSealCatchesWhatCabarcTCannot) {
  ReleaseFolder rel;
  std::string err;
  ASSERT_EQ(rel.pack(kDescription, "one", &err)[0], "0") << err;
  ASSERT_EQ(rel.pack(kDescription, "two", &err)[0], "0") << err;
  const auto files = pm::tooltest::treeOf(rel.dir / "one");
  EXPECT_EQ(files, pm::tooltest::treeOf(rel.dir / "two"));
  EXPECT_EQ(files.size(), 10u);
  for (const std::string& f : files)
    EXPECT_EQ(pm::testing::readFile(rel.dir / "one" / f),
              pm::testing::readFile(rel.dir / "two" / f))
        << f;
  // The seal is what sha256sum reads.
  EXPECT_EQ(runTool("sha256sum", {"--check", "--strict", "PMSetup.sha256"}, rel.dir / "one").code,
            0);

  pm::posix::TempMachine temp;
  pm::posix::PosixFileSystem fs{temp.machine};
  const fs::path folder = rel.dir / "one";
  const std::string windowsFolder = temp.machine.toWindows(folder);
  const std::string seal = pm::testing::readFile(rel.dir / "two" / pm::kSealFile);
  ASSERT_TRUE(pm::checkSeal(fs, windowsFolder)) << pm::checkSeal(fs, windowsFolder).message();

  // A cabinet without its list, sealed anew by hand.
  const auto listless = [&] {
    ASSERT_EQ(pm::tooltest::runCabarc({"N", (folder / "PLMLibrary.CAB").string(), "plmgrid.ocx"},
                                      rel.dir / "PLMLibrary")
                  .code,
              0);
    std::string s = seal;
    s.replace(s.find("  PLMLibrary.CAB") - 64, 64,
              pm::sha256Hex(pm::testing::readFile(folder / "PLMLibrary.CAB")));
    pm::testing::writeFile(folder / pm::kSealFile, s);
  };
  const struct {
    std::function<void()> damage;
    std::string error;
  } cases[] = {
      {[&] {
         flipSecondMemberSize(folder / "PLMLibrary.CAB");
         EXPECT_EQ(pm::tooltest::runCabarc({"T", "PLMLibrary.CAB"}, folder).code, 0);
       },
       "PLMLibrary.CAB is damaged or incomplete"},
      {listless, "PLMLibrary.CAB is damaged or incomplete (" + windowsFolder +
                     "\\PLMLibrary.CAB), perhaps by an interrupted download. Please fetch the "
                     "installer again and run the new copy. Nothing has been changed. (it does "
                     "not hold library.txt)"},
      {[&] { fs::remove(folder / "Eula.txt"); }, "Eula.txt is damaged"},
      {[&] {
         pm::testing::writeFile(folder / pm::kSealFile, seal + seal.substr(0, 64) + "  CON\n");
       },
       "PMSetup.sha256 is damaged"},
      {[&] { pm::testing::writeFile(folder / pm::kSealFile, seal.substr(0, seal.find('\n') + 1)); },
       "(it does not name PLMLibrary.CAB)"},
  };
  for (const auto& c : cases) {
    fs::remove_all(folder);
    fs::copy(rel.dir / "two", folder);
    c.damage();
    const pm::Status checked = pm::checkSeal(fs, windowsFolder);
    EXPECT_FALSE(checked) << c.error;
    EXPECT_NE(checked.message().find(c.error), std::string::npos) << checked.message();
  }
  // A folder without a seal is checked as before.
  fs::remove(folder / pm::kSealFile);
  EXPECT_TRUE(pm::checkSeal(fs, windowsFolder));
}

}  // namespace
