// Cabarc on damaged cabinets and full disks: the test command finds every kind
// of damage, and what cannot be written whole is never left behind.
#include <gtest/gtest.h>

#include "tools/testing/toolRun.h"

namespace pm::cabarc {
namespace {

using namespace pm::tooltest;
using Names = std::vector<std::string>;

class CabarcSafety : public ::testing::Test {
 protected:
  CabarcSafety() {
    std::string big(300000, '\0');  // incompressible, so it cannot fit a small disk
    std::uint32_t x = 12345;
    for (char& c : big) x ^= x << 13, x ^= x >> 17, x ^= x << 5, c = static_cast<char>(x);
    writeFile(root_ / "big.bin", big);
    writeFile(root_ / "small.txt", "small");
    EXPECT_EQ(cabarc({"-m", "NONE", "N", "stored.cab", "big.bin", "small.txt"}).code, 0);
    EXPECT_EQ(cabarc({"N", "zipped.cab", "big.bin", "small.txt"}).code, 0);
  }
  // Cabarc, or Cabarc.exe under Wine (runCabarc).
  ToolRun cabarc(const Names& args) { return runCabarc(args, root_.path(), env()); }
  ToolRun run(const fs::path& program, const Names& args) {
    return runTool(program, args, root_.path(), env());
  }
  Names env() const { return {"PMSETUP_MACHINE=" + (root_ / "m").string()}; }
  TempDir root_;
};

TEST_F(CabarcSafety, TestingFindsCutAndFlippedCabinetsAndWritesNothing) {
  for (const std::string name : {"stored.cab", "zipped.cab"}) {
    const std::string bytes = readFile(root_ / name);
    std::string flipped = bytes;
    flipped[bytes.size() * 3 / 4] ^= 0x10;
    const std::vector<std::pair<std::string, int>> cases = {
        {bytes, 0},
        {bytes.substr(0, bytes.size() / 2), 2},  // an interrupted download
        {bytes.substr(0, bytes.size() - 1), 2},  // one byte short
        {flipped, 3}};                           // a damaged block
    for (const auto& [content, code] : cases) {
      SCOPED_TRACE(name + " " + std::to_string(content.size()) + " " + std::to_string(code));
      writeFile(root_ / "case.cab", content);
      const Names before = treeOf(root_.path());
      const ToolRun r = cabarc({"T", "case.cab"});
      EXPECT_EQ(r.code, code) << r.err;
      EXPECT_EQ(r.err.find("case.cab") == std::string::npos, code == 0) << r.err;
      EXPECT_EQ(treeOf(root_.path()), before);
    }
  }
}

TEST_F(CabarcSafety, AFullDiskFailsAndLeavesNoCutFile) {
  // Under Wine the files are opened by the wine server, which does not see a
  // disk mounted in this test's own namespace.
  if (cabarcUnderWine()) GTEST_SKIP() << "a disk of the test's own cannot be given to Wine";
  // big.bin does not fit the disk; once a filler has taken the rest, even the
  // few bytes of small.txt and a new cabinet fail. The whole small.txt of the first run stays.
  const std::string cabarc = shellQuote(buildBin() / "Cabarc");
  const std::string script = "mount -t tmpfs -o size=128k tmpfs full || exit 77; " + cabarc +
                             " -o X zipped.cab full/ >/dev/null; echo x=$?; "
                             "cat big.bin >full/filler 2>/dev/null; " +
                             cabarc + " -o X zipped.cab small.txt full/ >/dev/null; echo s=$?; " +
                             cabarc + " N full/new.cab small.txt >/dev/null; echo n=$?; " +
                             "ls -A full; cat full/small.txt";
  fs::create_directory(root_ / "full");
  const ToolRun r = run("unshare", {"-rm", "sh", "-c", script});
  if (r.code != 0) GTEST_SKIP() << "cannot mount a small disk here: " << r.err;
  EXPECT_EQ(r.out, "x=3\ns=3\nn=7\nfiller\nsmall.txt\nsmall");
  EXPECT_NE(r.err.find("big.bin: write error: No space left on device"), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace pm::cabarc
