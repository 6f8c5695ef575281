#include "registration/CreateOSLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "install/basCommon.h"
#include "platform/ddeLinks.h"
#include "platform/posix/programManager.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
#include "tests/fakeInstallWindow.h"
#include "tests/fakeProcessRunner.h"
#include "tests/fakeRegistryStore.h"

namespace pm {
namespace {

using Strings = std::vector<std::string>;
using Ints = std::vector<int>;

// A Program Manager that records what it is sent, and can refuse everything.
struct RecordingServer : DdeServer {
  bool acceptsTopic(const std::string& topic) const override { return topic == "PROGMAN"; }
  Status execute(const std::string&, const std::string& command) override {
    received.push_back(command);
    return refuse ? Status::failure("refused") : Status();
  }
  Strings received;
  bool refuse = false;
};

// lblDDE over in-process DDE, refusing "PROGMAN|PROGMAN" a number of times
// first, as a service that is still starting; notes the event passes before
// the topic was taken.
struct SlowLink : LabelDdeLink {
  SlowLink(DdeSystem& dde, testing::NullToolkit& toolkit) : LabelDdeLink(dde), toolkit(toolkit) {}
  Status setLinkTopic(const std::string& topic) override {
    if (topic.empty()) return LabelDdeLink::setLinkTopic(topic);
    ++attempts;
    if (refusals-- > 0) return Status::failure("busy");
    passesBeforeTopic = toolkit.eventPasses;
    return LabelDdeLink::setLinkTopic(topic);
  }
  testing::NullToolkit& toolkit;
  int refusals = 0;
  int attempts = 0;
  int passesBeforeTopic = -1;
};

struct NoDataSources : DataSources {
  Status prepare() override { return {}; }
};

class ProgramGroupTest : public ::testing::Test {
 protected:
  void SetUp() override { frm.ddeLink = &link; }

  testing::FakeFileSystem fs;
  testing::FakeClock clock;
  testing::FakeProcessRunner processes;
  testing::FakeRegistryStore registry;
  NoDataSources dataSources;
  InProcessDde dde;
  testing::NullToolkit toolkit;
  Services services{fs, clock, processes, registry, dataSources, dde, toolkit, "C:\\setup"};
  testing::FakeInstallWindow frm{services};
  SlowLink link{dde, toolkit};
  RecordingServer progman;
};

TEST_F(ProgramGroupTest, SendsTheThreeCommandsWithTheUnquotedShortPathAndClosesTheLink) {
  dde.registerServer("PROGMAN", progman);
  fs.shortNames["C:\\Program Files\\Pelmora\\EULA.txt"] = "C:\\PROGRA~1\\Pelmora\\EULA.txt";

  CreateOSLink(frm, "Pelmora", "  \"C:\\Program Files\\Pelmora\\EULA.txt\" ", "", "EULA", true);
  // Without a short form the long path stays, blanks and all.
  CreateOSLink(frm, "Pelmora", "C:\\Other Place\\Run.exe", "/a \"b c\"", "Run", true);

  EXPECT_EQ(progman.received, (Strings{"[CreateGroup(Pelmora)]", "[ReplaceItem(EULA)]",
                                       "[AddItem(C:\\PROGRA~1\\Pelmora\\EULA.txt ,EULA,,,)]",
                                       "[CreateGroup(Pelmora)]", "[ReplaceItem(Run)]",
                                       "[AddItem(C:\\Other Place\\Run.exe /a \"b c\",Run,,,)]"}));
  EXPECT_EQ(link.attempts, 2);
  EXPECT_EQ(toolkit.eventPasses, 20);
  EXPECT_EQ(toolkit.pointerHistory, (Ints{11, 0, 11, 0}));
  EXPECT_TRUE(frm.lines.empty());
}

TEST_F(ProgramGroupTest, WaitsForASlowServiceAtMostTwentyAttempts) {
  dde.registerServer("PROGMAN", progman);
  link.refusals = 2;
  CreateProgManItem(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe ", "Pelmora v.1.9.5");
  EXPECT_EQ(link.attempts, 3);
  EXPECT_EQ(link.passesBeforeTopic, 2);
  EXPECT_EQ(progman.received.size(), 3u);

  link.refusals = 1000;
  link.attempts = 0;
  toolkit.eventPasses = 0;
  CreateProgManItem(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe ", "Pelmora v.1.9.5");
  EXPECT_EQ(link.attempts, 20);
  EXPECT_EQ(toolkit.eventPasses, 30);
}

TEST_F(ProgramGroupTest, AbsentOrRefusingServiceIsSilent) {
  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  progman.refuse = true;
  dde.registerServer("PROGMAN", progman);
  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  PerformDDE(frm, "Pelmora", "C:\\x.exe ", "x", 1, false);  // opens and closes only

  EXPECT_EQ(progman.received.size(), 3u);  // every command still tried
  EXPECT_EQ(link.linkMode(), 0);
  EXPECT_EQ(toolkit.pointerHistory, (Ints{11, 0, 11, 0, 11, 0}));
  EXPECT_TRUE(frm.lines.empty());
}

// The executables stage's three shortcuts, twice, through lblDDE and the
// in-process Program Manager onto the machine's disk.
TEST_F(ProgramGroupTest, ShortcutsReachTheGroupOnceEachAndNowhereElse) {
  posix::TempMachine temp;
  posix::ProgramManager manager(temp.machine);
  dde.registerServer("PROGMAN", manager);

  for (int run = 0; run < 2; ++run) {
    for (const auto& [file, title] : {std::pair{"Pelmora.exe", "Pelmora v.1.9.5"},
                                      {"EULA.txt", "EULA"},
                                      {"PMUninstall.exe", "PMUninstall"}})
      CreateOSLink(frm, "Pelmora", std::string("C:\\Program Files\\Pelmora\\") + file, "", title,
                   true);
  }

  Strings files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(temp.folder))
    if (e.path().extension() == ".desktop")
      files.push_back(std::filesystem::relative(e.path(), manager.groupFolder("Pelmora")));
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Strings{"EULA.desktop", "PMUninstall.desktop", "Pelmora v.1.9.5.desktop"}));
}

}  // namespace
}  // namespace pm
