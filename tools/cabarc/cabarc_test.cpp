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
using Names = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

constexpr const char* kZone = "America/New_York";  // local time differs from UTC, with DST

std::time_t localTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d;
  tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s, tm.tm_isdst = -1;
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
  }

  ToolRun cabarc(const Names& args, const fs::path& cwd = {}) {
    return runCabarc(args, cwd.empty() ? root_.path() : cwd, env_);
  }
  static bool underWine() { return cabarcUnderWine(); }
  // Drive C: of the machine the tool sees.
  fs::path driveC() const {
    const char* wine = std::getenv("PM_WINE_DRIVE_C");
    return wine ? fs::path(wine) : root_ / "machine" / "drive_c";
  }

  // Makes a cabinet of the given files with Cabarc N, each file dated `when`.
  fs::path makeCabinet(const fs::path& cab, const Files& files, std::time_t when = 0,
                       const Names& options = {}) {
    TempDir src;
    Names args = options;
    args.insert(args.end(), {"N", cab.string()});
    for (const auto& [name, bytes] : files) {
      writeFile(src / name, bytes);
      if (when) setMtime(src / name, when);
      args.push_back((src / name).string());
    }
    EXPECT_EQ(cabarc(args).code, 0);
    return cab;
  }

  TempDir root_;
  const Names env_ = {"PMSETUP_MACHINE=" + (root_ / "machine").string(),
                      std::string("TZ=") + kZone};
};

// The command lines the install stages build, split by the Windows rules, run in
// the installer folder with the temporary folder as destination.
TEST_F(CabarcTest, InstallerCommandLinesExtractWhatTheStagesExpect) {
  const fs::path setup = driveC() / "Setup", temp = setup / "PMUpTemp";
  const std::time_t when = localTime(2023, 7, 14, 9, 30, 42);
  const std::map<std::string, Files> cabs = {
      {"PLMLibrary.CAB",
       {{"library.txt", "\"Quoted.ocx\"\r\n"},
        {"Lib1.dll", randomBytes(70000, 1)},
        {"Quoted.ocx", "ocx"}}},
      {"PLMHelp.CAB", {{"help.txt", "Help1.chm\r\n"}, {"Help1.chm", "chm"}, {"Help2.hlp", ""}}},
  };
  fs::create_directories(temp);
  for (const auto& [cab, files] : cabs) makeCabinet(temp / cab, files, when);

  struct Row {
    std::string letter, cab, member;
    Names expected;
  };
  const std::vector<Row> rows = {
      {"x", "PLMLibrary.CAB", "library.txt", {"library.txt"}},
      {"X", "PLMLibrary.CAB", "\"Quoted.ocx\"", {"Quoted.ocx"}},
      {"X", "PLMLibrary.CAB", "", {"Lib1.dll", "Quoted.ocx", "library.txt"}},
      {"x", "PLMHelp.CAB", "*.*", {"Help1.chm", "Help2.hlp", "help.txt"}},
  };
  for (const Row& row : rows) {
    const std::string line = "Cabarc -o " + row.letter + " \"C:\\Setup\\PMUpTemp\\" + row.cab +
                             "\" " + row.member + " \"C:\\Setup\\PMUpTemp\"\\";
    SCOPED_TRACE(line);
    Names argv = splitWindowsCommandLine(line);
    argv.erase(argv.begin());
    for (int pass = 0; pass < 2; ++pass) {  // the second run overwrites what the first left
      EXPECT_EQ(cabarc(argv, setup).code, 0);
      Names got = treeOf(temp);
      std::erase_if(got, [](const std::string& n) { return n.ends_with(".CAB"); });
      EXPECT_EQ(got, row.expected);
      for (const auto& name : row.expected) {
        EXPECT_EQ(readFile(temp / name), cabs.at(row.cab).at(name)) << name;
        EXPECT_EQ(mtimeOf(temp / name), when) << name;  // even second: exact
        if (pass == 0) writeFile(temp / name, "changed since");
      }
    }
    for (const auto& name : row.expected) fs::remove(temp / name);
  }
}

// Names match without regard to case; without -o an existing file is kept.
TEST_F(CabarcTest, ExistingFilesAreReplacedOnlyWithO) {
  for (const char* help : {"--help", "/?"}) {  // the usage, and nothing touched
    const ToolRun r = cabarc({help});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("Usage: Cabarc"), std::string::npos);
    EXPECT_EQ(treeOf(root_.path()), Names{});
  }
  const fs::path cab = makeCabinet(root_ / "o.cab", {{"Alpha.DLL", "new"}, {"b.txt", "bee"}});
  writeFile(root_ / "dest" / "ALPHA.DLL", "old");
  const ToolRun keep = cabarc({"X", cab.string(), "dest\\"});
  EXPECT_EQ(keep.code, 6);
  EXPECT_NE(keep.out.find("Alpha.DLL exists and is left alone"), std::string::npos) << keep.out;
  EXPECT_EQ(readFile(root_ / "dest" / "ALPHA.DLL"), "old");
  EXPECT_EQ(readFile(root_ / "dest" / "b.txt"), "bee");

  const ToolRun over = cabarc({"-o", "X", cab.string(), "alpha.dll", "nothere.txt", "dest\\"});
  EXPECT_EQ(over.code, 5);  // the missing member is reported; the other still lands
  EXPECT_NE(over.err.find("nothere.txt"), std::string::npos);
  EXPECT_EQ(treeOf(root_ / "dest"), (Names{"ALPHA.DLL", "b.txt"}));
  EXPECT_EQ(readFile(root_ / "dest" / "ALPHA.DLL"), "new");
  // Left alone (6) and missing (5) in one run: the smaller code wins.
  EXPECT_EQ(cabarc({"X", cab.string(), "alpha.dll", "nothere.txt", "dest\\"}).code, 5);
}

// Members that land on one name (letter case and, without -p, their folders
// aside) replace one another in the cabinet's order, among enough others that
// files are made and closed ahead of and behind the one being written.
TEST_F(CabarcTest, MembersOfOneNameLandInTheCabinetsOrder) {
  std::vector<RawMember> members;
  for (int i = 0; i < 6; ++i) members.push_back({"f" + std::to_string(i) + ".txt", "filler"});
  members.insert(members.begin() + 2, {"a.txt", "one"});
  members.insert(members.begin() + 4, {"A.TXT", "two"});
  members.push_back({"sub\\a.txt", "three"});
  writeFile(root_ / "same.cab", rawCabinet(members));
  const ToolRun r = cabarc({"-o", "X", (root_ / "same.cab").string(), "dest\\"});
  EXPECT_EQ(r.code, 0) << r.err;
  const Names tree = treeOf(root_ / "dest");
  ASSERT_EQ(tree.size(), 7u) << ::testing::PrintToString(tree);  // nothing left beside them
  EXPECT_EQ(tree.front(), "a.txt");
  EXPECT_EQ(readFile(root_ / "dest" / "a.txt"), "three");
}

TEST_F(CabarcTest, NamesThatWouldLeaveTheDestinationAreRefused) {
  const Names bad = {
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

  for (const Names& options : {Names{"-o"}, Names{"-o", "-p"}}) {
    Names args = options;
    args.insert(args.end(), {"X", (work / "bad.cab").string(), (work / "dest").string() + "/"});
    const ToolRun r = cabarc(args);
    EXPECT_EQ(r.code, 4) << r.err;
    for (const auto& n : bad) EXPECT_NE(r.err.find("\"" + n + "\""), std::string::npos) << n;
    EXPECT_NE(r.err.find("esc\\x1B]0;title\\x07.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(readFile(work / "dest" / "good.txt"), "good");
  }
  // Windows refuses a junction or symbolic link too, but Wine shows a host link
  // as an ordinary folder, so the case holds only for the Linux tool.
  if (!underWine()) {
    const ToolRun viaLink = cabarc({"-p", "X", (work / "link.cab").string(), "work/dest/"});
    EXPECT_NE(viaLink.code, 0);
    EXPECT_NE(viaLink.err.find("symbolic link"), std::string::npos) << viaLink.err;
  }

  // Nothing was written anywhere but dest/good.txt.
  fs::remove(work / "dest" / "link");
  Names tree = treeOf(root_.path());
  std::erase_if(tree, [](const std::string& n) { return n.starts_with("machine/"); });
  EXPECT_EQ(tree, (Names{"work/bad.cab", "work/dest/good.txt", "work/link.cab"}));
}

TEST_F(CabarcTest, DamagedTruncatedAndForeignFilesFailWithNoPartialOutput) {
  const std::string big = randomBytes(90000, 7);
  const std::string bytes =
      readFile(makeCabinet(root_ / "ok.cab", {{"big.bin", big}, {"small.txt", "small"}}));
  const fs::path dest = root_ / "dest";
  std::string flipped = bytes;  // one byte changed inside the compressed data
  flipped[bytes.size() / 2] ^= 0x40;
  std::vector<std::pair<std::string, std::string>> cases = {
      {"not a cabinet", "hello, this is no cabinet"}, {"", ""}, {"damaged", flipped}};
  for (std::size_t cut : {4ul, 20ul, 36ul, 50ul, 80ul, bytes.size() / 3, bytes.size() - 1})
    cases.emplace_back("", bytes.substr(0, cut));

  for (const auto& [message, content] : cases) {
    SCOPED_TRACE(content.size());
    fs::remove_all(dest);
    writeFile(root_ / "case.cab", content);
    const ToolRun r = cabarc({"-o", "X", (root_ / "case.cab").string(), dest.string() + "/"});
    EXPECT_TRUE(r.code == 2 || r.code == 3) << r.code << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_FALSE(r.err.empty());
    // Whatever did land is whole; no temporary file is left behind.
    for (const auto& name : treeOf(dest))
      EXPECT_EQ(readFile(dest / name), name == "big.bin" ? big : "small") << name;
  }
}

// One part of a cabinet set: what it holds whole is extracted; each member
// whose data are partly in another cabinet is named with that cabinet, fails,
// and leaves nothing behind.
TEST_F(CabarcTest, APartOfACabinetSetGivesOnlyItsWholeMembers) {
  const std::string whole = randomBytes(40000, 5);
  struct Row {
    std::string cab;
    std::vector<RawMember> members;
    RawSet set;
    Names extracted, notWhole;
    std::string neighbour;
  };
  const std::vector<Row> rows = {
      {"first.cab",
       {{"whole.bin", whole}, {.name = "to.bin", .data = "head", .folder = 0xFFFE, .size = 9000}},
       {"", "second.cab"},
       {"whole.bin"},
       {"to.bin"},
       "second.cab"},
      // Once a member comes from the previous cabinet, its whole folder began there.
      {"last.cab",
       {{.name = "from.bin", .data = "tail", .folder = 0xFFFD}, {"after.txt", "after"}},
       {"first.cab", ""},
       {},
       {"from.bin", "after.txt"},
       "first.cab"},
      {"middle.cab",
       {{.name = "through.bin", .data = "mid", .folder = 0xFFFF, .size = 70000}},
       {"first.cab", "last.cab"},
       {},
       {"through.bin"},
       "first.cab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cab);
    const fs::path cab = root_ / row.cab, dest = root_ / ("out-" + row.cab);
    writeFile(cab, rawCabinet(row.members, row.set));
    const ToolRun x = cabarc({"-o", "X", cab.string(), dest.string() + "/"});
    const ToolRun t = cabarc({"T", cab.string()});
    EXPECT_EQ(x.code, 3) << x.err;
    EXPECT_EQ(t.code, 3) << t.err;
    for (const auto& name : row.notWhole) {
      for (const ToolRun* r : {&x, &t}) {
        EXPECT_NE(r->err.find(name + ": it is not whole"), std::string::npos) << r->err;
        EXPECT_NE(r->err.find(row.neighbour + " of the cabinet set"), std::string::npos) << r->err;
      }
    }
    EXPECT_EQ(treeOf(dest), row.extracted);  // nothing else, no temporary file
    for (const auto& name : row.extracted) EXPECT_EQ(readFile(dest / name), whole);
    const ToolRun l = cabarc({"L", cab.string()});
    EXPECT_EQ(l.code, 0);
    EXPECT_NE(l.out.find(std::to_string(row.members.size()) + " file"), std::string::npos);
  }
}

TEST_F(CabarcTest, ModificationTimesSurviveARoundTripAsLocalTime) {
  const std::map<std::string, std::time_t> times = {
      {"summer.txt", localTime(2022, 7, 1, 23, 59, 58)},  // daylight saving time
      {"winter.txt", localTime(2022, 1, 15, 0, 0, 1)},    // odd second: 2-second steps
      {"old.txt", localTime(1999, 12, 31, 12, 0, 0)},
  };
  for (const auto& [name, when] : times) {
    makeCabinet(root_ / "t.cab", {{name, name}}, when);
    ASSERT_EQ(cabarc({"X", (root_ / "t.cab").string(), "out\\"}).code, 0);
    EXPECT_EQ(mtimeOf(root_ / "out" / name), when / 2 * 2) << name;
  }
  EXPECT_NE(cabarc({"L", (root_ / "t.cab").string()}).out.find("2022-01-15 00:00:00"),
            std::string::npos);
}

// cabextract and gcab read and write the same format independently of us.
TEST_F(CabarcTest, AgreesWithCabextractAndGcab) {
  if (std::system("command -v cabextract >/dev/null && command -v gcab >/dev/null") != 0)
    GTEST_SKIP() << "cabextract or gcab missing";
  TempDir src;
  const Files files = {
      {"one.bin", randomBytes(120000, 3)}, {"two.txt", std::string(50000, 'z')}, {"empty.dat", ""}};
  std::time_t t = localTime(2021, 3, 4, 5, 6, 8);
  for (const auto& [name, bytes] : files) {
    writeFile(src / name, bytes);
    setMtime(src / name, t += 3600);
  }
  // Ours in both compressions, and gcab's: cabextract and we unpack the same
  // bytes and times from each.
  Names gcabArgs = {"-c", "-z", (root_ / "gcab.cab").string()};
  for (const auto& kv : files) gcabArgs.push_back(kv.first);
  ASSERT_EQ(runTool("gcab", gcabArgs, src.path(), env_).code, 0);
  for (const char* method : {"MSZIP", "NONE"})
    makeCabinet(root_ / (method + std::string(".cab")), files, 0, {"-m", method});
  for (const std::string kind : {"MSZIP", "NONE", "gcab"}) {
    SCOPED_TRACE(kind);
    const fs::path cab = root_ / (kind + ".cab"), theirs = root_ / (kind + "-ce"),
                   ours = root_ / (kind + "-ours");
    ASSERT_EQ(
        runTool("cabextract", {"-q", "-d", theirs.string(), cab.string()}, root_.path(), env_).code,
        0);
    ASSERT_EQ(cabarc({"x", cab.string(), "*.*", ours.string() + "/"}).code, 0);
    for (const auto& [name, bytes] : files) {
      EXPECT_EQ(readFile(theirs / name), bytes) << name;
      EXPECT_EQ(readFile(ours / name), bytes) << name;
      EXPECT_EQ(mtimeOf(ours / name), mtimeOf(theirs / name)) << name;
    }
  }
}

}  // namespace
}  // namespace pm::cabarc
