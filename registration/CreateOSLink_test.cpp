// The program group's DDE conversation: what is sent, how a slow or refusing
// Program Manager is met. What lands on the disk is pinned by the end-to-end roads.
#include "registration/CreateOSLink.h"

#include <gtest/gtest.h>

#include "tests/fakeInstallWindow.h"
#include "tests/windowTestRig.h"

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

// The machine's file system with one short name, given as Windows gives it: NUL-padded.
struct WithShortName : testing::MachineFileSystem {
  using MachineFileSystem::MachineFileSystem;
  Result<std::string> shortPath(const std::string& path) override {
    if (path != "C:\\Program Files\\Pelmora\\EULA.txt") return MachineFileSystem::shortPath(path);
    return std::string("C:\\PROGRA~1\\Pelmora\\EULA.txt\0\0", 30);
  }
};

class ProgramGroupTest : public ::testing::Test {
 protected:
  void SetUp() override { frm.ddeLink = &link; }

  testing::WindowTestRig rig;
  testing::NullToolkit& toolkit = rig.toolkit;
  WithShortName fs{rig};
  Services services{
      {fs, rig.clock, rig.processes, rig.registryStore, rig.dataSources, rig.dde, "C:\\setup"},
      toolkit};
  testing::FakeInstallWindow frm{services};
  SlowLink link{rig.dde, toolkit};
  RecordingServer progman;
};

TEST_F(ProgramGroupTest, SendsTheThreeCommandsWithTheUnquotedShortPathAndClosesTheLink) {
  rig.dde.registerServer("PROGMAN", progman);
  CreateOSLink(frm, "Pelmora", "  \"C:\\Program Files\\Pelmora\\EULA.txt\" ", "", "EULA", true);
  // Without a short form the long path stays, blanks and all; the syntax's own
  // characters put an argument in quotes.
  CreateOSLink(frm, "Pel,mora", "C:\\Other Place\\Run.exe", "/a", "Run (x)", true);
  // A double quote cannot be carried: one line, nothing sent.
  CreateOSLink(frm, "Pelmora", "C:\\Run.exe", "/a \"b c\"", "Run", true);

  EXPECT_EQ(progman.received, (Strings{"[CreateGroup(Pelmora)]", "[ReplaceItem(EULA)]",
                                       "[AddItem(C:\\PROGRA~1\\Pelmora\\EULA.txt ,EULA,,,)]",
                                       "[CreateGroup(\"Pel,mora\")]", "[ReplaceItem(\"Run (x)\")]",
                                       "[AddItem(C:\\Other Place\\Run.exe /a,\"Run (x)\",,,)]"}));
  EXPECT_EQ(frm.lines, (Strings{"Could not create the shortcut Run: a double quote cannot be sent "
                                "to the Program Manager: C:\\Run.exe /a \"b c\""}));
  EXPECT_EQ(frm.state().failures.size(), 1u);
}

// AppPath = C:\Pel)][DeleteGroup(Accessories)][AddItem(x: the three items point
// into that folder, and another group keeps its item.
TEST_F(ProgramGroupTest, AnApplicationFolderCannotInjectProgramManagerCommands) {
  const auto manager = rig.ownProgramManager();
  if (!manager) GTEST_SKIP() << "Windows: the Program Manager is the system's, not one of ours";
  rig.dde.registerServer("PROGMAN", *manager);
  ASSERT_TRUE(
      manager->execute("PROGMAN", "[CreateGroup(Accessories)][AddItem(C:\\n.exe,Notes,,,)]"));
  const std::string app = "C:\\Pel)][DeleteGroup(Accessories)][AddItem(x\\";
  for (const char* file : {"Pelmora.exe", "EULA.txt", "PMUninstall.exe"})
    CreateOSLink(frm, "Pelmora", app + file, "", std::string(file).substr(0, 4), true);

  EXPECT_EQ(rig.groupItems("Pelmora"),
            (Strings{"EULA=" + app + "EULA.txt ", "PMUn=" + app + "PMUninstall.exe ",
                     "Pelm=" + app + "Pelmora.exe "}));
  ASSERT_EQ(rig.groupItems("Accessories").size(), 1u);
  EXPECT_TRUE(frm.lines.empty());
}

TEST_F(ProgramGroupTest, WaitsForASlowServiceAtMostTwentyAttempts) {
  rig.dde.registerServer("PROGMAN", progman);
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

TEST_F(ProgramGroupTest, AnItemNoServiceMadeIsOneLineAndARecordedFailure) {
  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  progman.refuse = true;
  rig.dde.registerServer("PROGMAN", progman);
  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  PerformDDE(frm, "Pelmora", "C:\\x.exe ", "x", 1, false);  // opens and closes only

  EXPECT_EQ(progman.received.size(), 3u);  // every command still tried
  EXPECT_EQ(link.linkMode(), 0);
  EXPECT_EQ(toolkit.pointerHistory, (Ints{11, 0, 11, 0, 11, 0}));
  EXPECT_EQ(frm.lines,
            (Strings{"Could not create the shortcut Pelmora v.1.9.5: No foreign application "
                     "responded to a DDE initiate",
                     "Could not create the shortcut Pelmora v.1.9.5: refused"}));
  EXPECT_EQ(frm.state().failures.size(), 2u);
}

}  // namespace
}  // namespace pm
