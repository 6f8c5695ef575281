// Cabarc end to end: the built executable on real cabinets in a temporary
// machine, checked against libgcab's gcab and cabextract as independent peers.
#include <gtest/gtest.h>

#include <ctime>
#include <map>

#include "platform/process.h"
#include "tools/cabarc/rawCabinet.h"
#include "tools/testing/toolRun.h"

namespace pm::cabarc {
namespace {

using namespace pm::tooltest;

constexpr const char* kZone = "America/New_York";  // local time differs from UTC, with DST

std::time_t localTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string randomBytes(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

class CabarcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", kZone, 1);
    ::tzset();
    fs::create_directories(root_ / "machine");
    env_ = {"PMSETUP_MACHINE=" + (root_ / "machine").string(), std::string("TZ=") + kZone};
  }

  fs::path driveC() const { return root_.path() / "machine" / "drive_c"; }

  ToolRun cabarc(const std::vector<std::string>& args, const fs::path& cwd = {}) {
    return runTool(buildBin() / "Cabarc", args, cwd.empty() ? root_.path() : cwd, env_);
  }

  // Makes a cabinet of the given files (name -> bytes, mtime) with Cabarc N.
  fs::path makeCabinet(const fs::path& cab, const std::map<std::string, std::string>& files,
                       std::time_t when = 0, std::vector<std::string> options = {}) {
    TempDir src;
    std::vector<std::string> args = options;
    args.insert(args.end(), {"N", cab.string()});
    for (const auto& [name, bytes] : files) {
      writeFile(src / name, bytes);
      if (when) setMtime(src / name, when);
      args.push_back((src / name).string());
    }
    const ToolRun r = cabarc(args);
    EXPECT_EQ(r.code, 0) << r.err;
    return cab;
  }

  TempDir root_;
  std::vector<std::string> env_;
};

// The command lines the install stages build, split by the Windows rules, run in
// the installer folder with the temporary folder as destination.
TEST_F(CabarcTest, InstallerCommandLinesExtractWhatTheStagesExpect) {
  const fs::path setup = driveC() / "Setup";
  const fs::path temp = setup / "PMUpTemp";
  fs::create_directories(temp);
  const std::time_t when = localTime(2023, 7, 14, 9, 30, 42);
  const std::map<std::string, std::map<std::string, std::string>> cabs = {
      {"PLMLibrary.CAB",
       {{"library.txt", "Lib1.dll\r\n\"Quoted.ocx\"\r\n"},
        {"Lib1.dll", randomBytes(70000, 1)},
        {"Quoted.ocx", "ocx"}}},
      {"Pelmora.CAB",
       {{"upgrade.txt", "Pelmora.exe\r\n"},
        {"Pelmora.exe", randomBytes(5000, 2)},
        {"Dorvane.mdb", std::string(40000, 'd')}}},
      {"PLMHelp.CAB", {{"help.txt", "Help1.chm\r\n"}, {"Help1.chm", "chm"}, {"Help2.hlp", ""}}},
  };
  for (const auto& [cab, files] : cabs) makeCabinet(temp / cab, files, when);

  struct Row {
    char letter;
    std::string cab, member;
    std::vector<std::string> expected;
  };
  const std::vector<Row> rows = {
      {'x', "PLMLibrary.CAB", "library.txt", {"library.txt"}},
      {'X', "PLMLibrary.CAB", "Lib1.dll", {"Lib1.dll"}},
      {'X', "PLMLibrary.CAB", "\"Quoted.ocx\"", {"Quoted.ocx"}},
      {'x', "Pelmora.CAB", "upgrade.txt", {"upgrade.txt"}},
      {'X', "Pelmora.CAB", "", {"Dorvane.mdb", "Pelmora.exe", "upgrade.txt"}},
      {'X', "Pelmora.CAB", "Pelmora.exe", {"Pelmora.exe"}},
      {'x', "PLMHelp.CAB", "help.txt", {"help.txt"}},
      {'x', "PLMHelp.CAB", "*.*", {"Help1.chm", "Help2.hlp", "help.txt"}},
      {'X', "PLMHelp.CAB", "Help1.chm", {"Help1.chm"}},
      {'X', "Pelmora.CAB", "Dorvane.mdb", {"Dorvane.mdb"}},
  };
  const std::string tempWin = "C:\\Setup\\PMUpTemp";
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(1, row.letter) + " " + row.cab + " [" + row.member + "]");
    const std::string cmdline = std::string("Cabarc -o ") + row.letter + " \"" + tempWin + "\\" +
                                row.cab + "\" " + row.member + " \"" + tempWin + "\"\\";
    std::vector<std::string> argv = splitWindowsCommandLine(cmdline);
    ASSERT_EQ(argv.front(), "Cabarc");
    argv.erase(argv.begin());
    for (int pass = 0; pass < 2; ++pass) {  // the second run overwrites what the first left
      const ToolRun r = cabarc(argv, setup);
      EXPECT_EQ(r.code, 0) << r.out << r.err;
      std::vector<std::string> got = treeOf(temp);
      std::erase_if(got, [](const std::string& n) { return n.ends_with(".CAB"); });
      std::vector<std::string> want = row.expected;
      std::sort(want.begin(), want.end());
      EXPECT_EQ(got, want);
      for (const auto& name : row.expected) {
        EXPECT_EQ(readFile(temp / name), cabs.at(row.cab).at(name)) << name;
        EXPECT_EQ(mtimeOf(temp / name), when) << name;  // even second: exact
        if (pass == 0) writeFile(temp / name, "changed since");
      }
    }
    for (const auto& name : row.expected) fs::remove(temp / name);
  }
}

TEST_F(CabarcTest, MembersMatchByWildcardAndWithoutRegardToCase) {
  TempDir src;
  writeFile(src / "Alpha.DLL", "alpha");
  writeFile(src / "beta.dll", "beta");
  writeFile(src / "gamma.txt", "gamma");
  writeFile(src / "sub" / "delta.dll", "delta");
  const fs::path cab = root_ / "m.cab";
  ASSERT_EQ(
      cabarc({"-p", "N", cab.string(), "Alpha.DLL", "beta.dll", "gamma.txt", "sub\\delta.dll"},
             src.path())
          .code,
      0);

  EXPECT_EQ(cabarc({"X", cab.string(), "*.DLL", "d1\\"}).code, 0);
  EXPECT_EQ(treeOf(root_ / "d1"), (std::vector<std::string>{"Alpha.DLL", "beta.dll", "delta.dll"}));

  EXPECT_EQ(cabarc({"x", cab.string(), "?ETA.*", "d2/"}).code, 0);
  EXPECT_EQ(treeOf(root_ / "d2"), std::vector<std::string>{"beta.dll"});

  // A member that is not there is reported; the others still land.
  const ToolRun missing = cabarc({"X", cab.string(), "ALPHA.dll", "nothere.txt", "d3\\"});
  EXPECT_EQ(missing.code, 5);
  EXPECT_NE(missing.err.find("nothere.txt"), std::string::npos);
  EXPECT_EQ(treeOf(root_ / "d3"), std::vector<std::string>{"Alpha.DLL"});

  // -p keeps the stored folders; a pattern with a separator matches the whole path.
  EXPECT_EQ(cabarc({"-p", "X", cab.string(), "SUB\\*.dll", "d4\\"}).code, 0);
  EXPECT_EQ(treeOf(root_ / "d4"), std::vector<std::string>{"sub/delta.dll"});

  // No destination: the working folder. No member: all of them, flat.
  fs::create_directories(root_ / "d5");
  EXPECT_EQ(cabarc({"X", cab.string()}, root_ / "d5").code, 0);
  EXPECT_EQ(treeOf(root_ / "d5"),
            (std::vector<std::string>{"Alpha.DLL", "beta.dll", "delta.dll", "gamma.txt"}));

  // An existing file whose name differs only in case is the one overwritten.
  writeFile(root_ / "d6" / "ALPHA.DLL", "old");
  EXPECT_EQ(cabarc({"-o", "X", cab.string(), "alpha.dll", "d6\\"}).code, 0);
  EXPECT_EQ(treeOf(root_ / "d6"), std::vector<std::string>{"ALPHA.DLL"});
  EXPECT_EQ(readFile(root_ / "d6" / "ALPHA.DLL"), "alpha");
}

TEST_F(CabarcTest, ExistingFilesAreLeftAloneWithoutO) {
  const fs::path cab = makeCabinet(root_ / "o.cab", {{"a.txt", "new"}, {"b.txt", "bee"}});
  writeFile(root_ / "dest" / "a.txt", "old");
  const ToolRun keep = cabarc({"X", cab.string(), "dest\\"});
  EXPECT_EQ(keep.code, 6);
  EXPECT_NE(keep.out.find("a.txt exists and is left alone"), std::string::npos) << keep.out;
  EXPECT_EQ(readFile(root_ / "dest" / "a.txt"), "old");
  EXPECT_EQ(readFile(root_ / "dest" / "b.txt"), "bee");

  const ToolRun over = cabarc({"-o", "X", cab.string(), "dest\\"});
  EXPECT_EQ(over.code, 0) << over.err;
  EXPECT_EQ(readFile(root_ / "dest" / "a.txt"), "new");
  EXPECT_EQ(treeOf(root_ / "dest"), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(CabarcTest, NamesThatWouldLeaveTheDestinationAreRefused) {
  const std::vector<std::string> bad = {
      "..\\evil1.txt", "C:\\evil2.txt",        "\\evil3.txt", "sub\\..\\..\\evil4.txt",
      "/evil5.txt",    "a/../../../evil6.txt", "..",          "sub\\"};
  std::vector<RawMember> members = {{"good.txt", "good"}};
  for (const auto& n : bad) members.push_back({n, "evil"});
  members.push_back({"esc\x1b]0;title\x07.txt", "evil"});  // would steer a terminal
  const fs::path work = root_ / "work";
  writeFile(work / "bad.cab", rawCabinet(members));
  // A folder inside the destination that is a link to somewhere else.
  fs::create_directories(work / "dest");
  fs::create_directories(root_ / "elsewhere");
  fs::create_directory_symlink(root_ / "elsewhere", work / "dest" / "link");
  writeFile(work / "link.cab", rawCabinet({{"link\\x.txt", "evil"}}));

  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-o"}, std::vector<std::string>{"-o", "-p"}}) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"X", (work / "bad.cab").string(), (work / "dest").string() + "/"});
    const ToolRun r = cabarc(args);
    EXPECT_EQ(r.code, 4) << r.err;
    for (const auto& n : bad) EXPECT_NE(r.err.find("\"" + n + "\""), std::string::npos) << n;
    EXPECT_NE(r.err.find("esc\\x1B]0;title\\x07.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(readFile(work / "dest" / "good.txt"), "good");
  }
  const ToolRun viaLink = cabarc({"-p", "X", (work / "link.cab").string(), "work/dest/"});
  EXPECT_NE(viaLink.code, 0);
  EXPECT_NE(viaLink.err.find("symbolic link"), std::string::npos) << viaLink.err;

  // Nothing was written anywhere but dest/good.txt.
  fs::remove(work / "dest" / "link");
  std::vector<std::string> tree = treeOf(root_.path());
  std::erase_if(tree, [](const std::string& n) { return n.starts_with("machine/"); });
  EXPECT_EQ(tree,
            (std::vector<std::string>{"work/bad.cab", "work/dest/good.txt", "work/link.cab"}));
}

TEST_F(CabarcTest, DamagedTruncatedAndForeignFilesFailCleanly) {
  const std::string big = randomBytes(90000, 7);
  const fs::path cab = makeCabinet(root_ / "ok.cab", {{"big.bin", big}, {"small.txt", "small"}});
  const std::string bytes = readFile(cab);
  const fs::path dest = root_ / "dest";

  auto check = [&](const std::string& what, const std::string& content, int wantLow, int wantHigh) {
    SCOPED_TRACE(what);
    fs::remove_all(dest);
    writeFile(root_ / "case.cab", content);
    const ToolRun r = cabarc({"-o", "X", (root_ / "case.cab").string(), dest.string() + "/"});
    EXPECT_GE(r.code, wantLow) << r.err;
    EXPECT_LE(r.code, wantHigh) << r.err;
    EXPECT_FALSE(r.err.empty());
    // Whatever did land is whole; no temporary file is left behind.
    for (const auto& name : treeOf(dest)) {
      EXPECT_FALSE(name.starts_with(".Cabarc")) << name;
      if (name == "big.bin") {
        EXPECT_EQ(readFile(dest / name), big);
      } else if (name == "small.txt") {
        EXPECT_EQ(readFile(dest / name), "small");
      }
    }
    return r;
  };
  EXPECT_NE(check("text file", "hello, this is no cabinet", 2, 2).err.find("not a cabinet"),
            std::string::npos);
  check("empty file", "", 2, 2);
  for (std::size_t cut : {4ul, 20ul, 36ul, 50ul, 80ul, bytes.size() / 3, bytes.size() - 1})
    check("cut at " + std::to_string(cut), bytes.substr(0, cut), 2, 3);
  // One byte changed inside the compressed data: the block checksum catches it.
  std::string flipped = bytes;
  flipped[bytes.size() / 2] ^= 0x40;
  const ToolRun bad = check("flipped byte", flipped, 3, 3);
  EXPECT_NE(bad.err.find("damaged"), std::string::npos) << bad.err;

  const ToolRun missing = cabarc({"X", (root_ / "nothere.cab").string()});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("nothere.cab"), std::string::npos);
}

TEST_F(CabarcTest, ModificationTimesSurviveARoundTripAsLocalTime) {
  TempDir src;
  const std::map<std::string, std::time_t> times = {
      {"summer.txt", localTime(2022, 7, 1, 23, 59, 58)},  // daylight saving time
      {"winter.txt", localTime(2022, 1, 15, 0, 0, 1)},    // odd second: 2-second steps
      {"old.txt", localTime(1999, 12, 31, 12, 0, 0)},
  };
  std::vector<std::string> args = {"N", (root_ / "t.cab").string()};
  for (const auto& [name, when] : times) {
    writeFile(src / name, name);
    setMtime(src / name, when);
    args.push_back((src / name).string());
  }
  ASSERT_EQ(cabarc(args).code, 0);
  const ToolRun list = cabarc({"L", (root_ / "t.cab").string()});
  EXPECT_NE(list.out.find("2022-07-01 23:59:58"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("2022-01-15 00:00:00"), std::string::npos) << list.out;
  ASSERT_EQ(cabarc({"X", (root_ / "t.cab").string(), "out\\"}).code, 0);
  for (const auto& [name, when] : times) EXPECT_EQ(mtimeOf(root_ / "out" / name), when / 2 * 2);
}

// cabextract and gcab read and write the same format independently of us.
TEST_F(CabarcTest, AgreesWithCabextractAndGcab) {
  const fs::path cabextract = onPath("cabextract"), gcab = onPath("gcab");
  if (cabextract.empty() || gcab.empty()) GTEST_SKIP() << "cabextract or gcab missing";
  TempDir src;
  const std::map<std::string, std::string> files = {
      {"one.bin", randomBytes(120000, 3)}, {"two.txt", std::string(50000, 'z')}, {"empty.dat", ""}};
  std::time_t t = localTime(2021, 3, 4, 5, 6, 8);
  for (const auto& [name, bytes] : files) {
    writeFile(src / name, bytes);
    setMtime(src / name, t += 3600);
  }
  // Ours, both compressions, unpacked by cabextract and by us alike.
  for (const char* method : {"MSZIP", "NONE"}) {
    SCOPED_TRACE(method);
    const fs::path cab = root_ / (std::string(method) + ".cab");
    std::vector<std::string> args = {"-m", method, "N", cab.string()};
    for (const auto& kv : files) args.push_back((src / kv.first).string());
    ASSERT_EQ(cabarc(args).code, 0);
    const fs::path theirs = root_ / (std::string(method) + "-cabextract");
    const fs::path ours = root_ / (std::string(method) + "-cabarc");
    const ToolRun ce =
        runTool(cabextract, {"-q", "-d", theirs.string(), cab.string()}, root_.path(), env_);
    ASSERT_EQ(ce.code, 0) << ce.err;
    ASSERT_EQ(cabarc({"X", cab.string(), ours.string() + "/"}).code, 0);
    for (const auto& [name, bytes] : files) {
      EXPECT_EQ(readFile(theirs / name), bytes) << name;
      EXPECT_EQ(readFile(ours / name), bytes) << name;
      EXPECT_EQ(mtimeOf(ours / name), mtimeOf(theirs / name)) << name;
      EXPECT_EQ(mtimeOf(ours / name), mtimeOf(src / name) / 2 * 2) << name;
    }
  }
  // gcab's, unpacked by us: the same bytes and the same times as cabextract gives.
  std::vector<std::string> args = {"-c", "-z", (root_ / "g.cab").string()};
  for (const auto& kv : files) args.push_back(kv.first);
  ASSERT_EQ(runTool(gcab, args, src.path(), env_).code, 0);
  ASSERT_EQ(runTool(cabextract, {"-q", "-d", (root_ / "g-ce").string(), (root_ / "g.cab").string()},
                    root_.path(), env_)
                .code,
            0);
  ASSERT_EQ(
      cabarc({"x", (root_ / "g.cab").string(), "*.*", (root_ / "g-ours").string() + "/"}).code, 0);
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(readFile(root_ / "g-ours" / name), bytes) << name;
    EXPECT_EQ(mtimeOf(root_ / "g-ours" / name), mtimeOf(root_ / "g-ce" / name)) << name;
  }
}

TEST_F(CabarcTest, NewCabinetFromFoldersAndItsRefusals) {
  TempDir src;
  writeFile(src / "tree" / "a.txt", "a");
  writeFile(src / "tree" / "sub" / "a.txt", "sub a");
  writeFile(src / "tree" / "sub" / "b.log", "b");
  const fs::path cab = root_ / "tree.cab";

  // Without -p two files would share a name: nothing is written.
  writeFile(cab, "earlier cabinet");
  const ToolRun clash = cabarc({"-r", "N", cab.string(), "tree"}, src.path());
  EXPECT_EQ(clash.code, 7);
  EXPECT_NE(clash.err.find("\"a.txt\""), std::string::npos) << clash.err;
  EXPECT_EQ(readFile(cab), "earlier cabinet");

  const ToolRun noR = cabarc({"N", cab.string(), "tree"}, src.path());
  EXPECT_EQ(noR.code, 7);
  EXPECT_NE(noR.err.find("-r"), std::string::npos);

  ASSERT_EQ(cabarc({"-r", "-p", "N", cab.string(), "tree"}, src.path()).code, 0);
  const ToolRun list = cabarc({"L", cab.string()});
  EXPECT_NE(list.out.find("tree\\sub\\a.txt"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("3 files"), std::string::npos);

  // A file that can be run comes out runnable; the others do not.
  writeFile(src / "run.sh", "#!/bin/sh\n");
  fs::permissions(src / "run.sh", fs::perms::owner_all);
  ASSERT_EQ(cabarc({"N", (root_ / "exec.cab").string(), "run.sh", "tree\\a.txt"}, src.path()).code,
            0);
  ASSERT_EQ(cabarc({"X", (root_ / "exec.cab").string(), "e\\"}).code, 0);
  EXPECT_NE(fs::status(root_ / "e" / "run.sh").permissions() & fs::perms::owner_exec,
            fs::perms::none);
  EXPECT_EQ(fs::status(root_ / "e" / "a.txt").permissions() & fs::perms::owner_exec,
            fs::perms::none);

  // A wildcard with -r takes the matching files of every subfolder.
  ASSERT_EQ(cabarc({"-r", "-p", "N", cab.string(), "tree\\*.TXT"}, src.path()).code, 0);
  ASSERT_EQ(cabarc({"-p", "X", cab.string(), "x\\"}).code, 0);
  EXPECT_EQ(treeOf(root_ / "x"), (std::vector<std::string>{"tree/a.txt", "tree/sub/a.txt"}));
  EXPECT_EQ(readFile(root_ / "x" / "tree" / "sub" / "a.txt"), "sub a");
}

TEST_F(CabarcTest, CommandLineMistakesShowTheUsage) {
  const ToolRun none = cabarc({});
  EXPECT_EQ(none.code, 1);
  EXPECT_NE(none.out.find("Exit codes"), std::string::npos);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"Q", "a.cab"},
                                               {"-z", "L", "a.cab"},
                                               {"-m", "LZX", "N", "a", "b"},
                                               {"L"},
                                               {"N", "a.cab"}}) {
    const ToolRun r = cabarc(args);
    EXPECT_EQ(r.code, 1) << args[0];
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
  }
}

}  // namespace
}  // namespace pm::cabarc
