#include "registration/CreateOSLink.h"

#include <gtest/gtest.h>

#include "console/basCommon.h"
#include "platform/ddeLinks.h"
#include "platform/posix/programManager.h"
#include "registration/registrationTestSupport.h"

namespace pm {
namespace {

using pm::testing::FakeInstallWindow;
using pm::testing::NullToolkit;
using Strings = std::vector<std::string>;
using Ints = std::vector<int>;

// A Program Manager that records what it is sent, and can refuse everything.
class RecordingServer : public DdeServer {
 public:
  bool acceptsTopic(const std::string& topic) const override { return topic == "PROGMAN"; }
  Status execute(const std::string& topic, const std::string& command) override {
    received.push_back(topic + ": " + command);
    if (refuse) return Status::failure("refused");
    return {};
  }
  std::vector<std::string> received;
  bool refuse = false;
};

// lblDDE whose LinkTopic is refused a given number of times first, as when the
// service is still starting; it notes how many event passes came before the
// topic was taken.
class SlowLink : public DdeLink {
 public:
  SlowLink(DdeLink& inner, NullToolkit& toolkit, int refusals)
      : inner_(inner), toolkit_(toolkit), refusals_(refusals) {}
  Status setLinkTopic(const std::string& topic) override {
    if (topic.empty()) return inner_.setLinkTopic(topic);
    ++attempts;
    if (refusals_ > 0) {
      --refusals_;
      return Status::failure("busy");
    }
    if (passesBeforeTopic < 0) passesBeforeTopic = toolkit_.eventPasses;
    return inner_.setLinkTopic(topic);
  }
  const std::string& linkTopic() const override { return inner_.linkTopic(); }
  Status setLinkMode(int mode) override { return inner_.setLinkMode(mode); }
  int linkMode() const override { return inner_.linkMode(); }
  Status setLinkTimeout(int tenths) override {
    timeouts.push_back(tenths);
    return inner_.setLinkTimeout(tenths);
  }
  int linkTimeout() const override { return inner_.linkTimeout(); }
  Status linkExecute(const std::string& command) override { return inner_.linkExecute(command); }

  int attempts = 0;
  int passesBeforeTopic = -1;
  std::vector<int> timeouts;

 private:
  DdeLink& inner_;
  NullToolkit& toolkit_;
  int refusals_;
};

class ProgramGroupTest : public ::testing::Test {
 protected:
  void SetUp() override { busyDepth = 0; }

  void useSlowLink(int refusals) {
    slow = std::make_unique<SlowLink>(label, toolkit, refusals);
    frm.ddeLink = slow.get();
  }

  testing::Scratch scratch;
  testing::ShortNameFileSystem fs;
  testing::FixedClock clock;
  testing::NoProcesses processes;
  testing::NoRegistry registry;
  testing::IniDataSources dataSources{scratch.path() / "odbc"};
  InProcessDde dde;
  NullToolkit toolkit;
  Services services{fs, clock, processes, registry, dataSources, dde, toolkit, "Z:\\setup"};
  FakeInstallWindow frm{services};
  LabelDdeLink label{dde};
  std::unique_ptr<SlowLink> slow;
  RecordingServer progman;
};

TEST_F(ProgramGroupTest, SendsTheThreeCommandsAndLeavesTheLinkClosed) {
  dde.registerServer("PROGMAN", progman);
  useSlowLink(0);

  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);

  EXPECT_EQ(progman.received,
            (Strings{"PROGMAN: [CreateGroup(Pelmora)]", "PROGMAN: [ReplaceItem(Pelmora v.1.9.5)]",
                     "PROGMAN: [AddItem(C:\\Pelmora\\Pelmora.exe ,Pelmora v.1.9.5,,,)]"}));
  EXPECT_EQ(slow->attempts, 1);
  EXPECT_EQ(slow->timeouts, (Ints{100}));
  EXPECT_EQ(toolkit.eventPasses, 10);
  EXPECT_EQ(label.linkMode(), 0);
  EXPECT_EQ(label.linkTopic(), "");
  EXPECT_EQ(toolkit.pointerHistory, (Ints{11, 0}));
  EXPECT_TRUE(frm.lines.empty());
}

TEST_F(ProgramGroupTest, QuotedPathLosesItsQuotesBeforeTheShortFormIsTaken) {
  dde.registerServer("PROGMAN", progman);
  frm.ddeLink = &label;
  fs.shortForms["C:\\Program Files\\Pelmora\\EULA.txt"] = "C:\\PROGRA~1\\Pelmora\\EULA.txt";

  CreateOSLink(frm, "Pelmora", "  \"C:\\Program Files\\Pelmora\\EULA.txt\" ", "", "EULA", true);
  CreateOSLink(frm, "Pelmora", "C:\\Other Place\\Run.exe", "/a \"b c\"", "Run", true);

  EXPECT_EQ(fs.shortPathQueries,
            (Strings{"C:\\Program Files\\Pelmora\\EULA.txt", "C:\\Other Place\\Run.exe"}));
  ASSERT_EQ(progman.received.size(), 6u);
  EXPECT_EQ(progman.received[2], "PROGMAN: [AddItem(C:\\PROGRA~1\\Pelmora\\EULA.txt ,EULA,,,)]");
  // No short form: the long path stays, blanks and all.
  EXPECT_EQ(progman.received[5], "PROGMAN: [AddItem(C:\\Other Place\\Run.exe /a \"b c\",Run,,,)]");
}

TEST_F(ProgramGroupTest, ServiceThatAnswersOnTheThirdAttempt) {
  dde.registerServer("PROGMAN", progman);
  useSlowLink(2);

  CreateProgManItem(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe ", "Pelmora v.1.9.5");

  EXPECT_EQ(slow->attempts, 3);
  EXPECT_EQ(slow->passesBeforeTopic, 2);
  EXPECT_EQ(toolkit.eventPasses, 12);
  EXPECT_EQ(progman.received.size(), 3u);
  EXPECT_EQ(label.linkTopic(), "");
}

TEST_F(ProgramGroupTest, ServiceThatNeverTakesTheTopicStillEndsCleanly) {
  dde.registerServer("PROGMAN", progman);
  useSlowLink(1000);

  PerformDDE(frm, "Pelmora", "x ", "x", 0, false);

  EXPECT_EQ(slow->attempts, 20);
  EXPECT_EQ(toolkit.eventPasses, 30);
  // Without a partner the link never opened, so nothing was sent.
  EXPECT_TRUE(progman.received.empty());
  EXPECT_EQ(label.linkMode(), 0);
  EXPECT_EQ(toolkit.pointerHistory, (Ints{11, 0}));
}

TEST_F(ProgramGroupTest, AbsentOrRefusingServiceIsSilent) {
  frm.ddeLink = &label;
  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  EXPECT_EQ(label.linkMode(), 0);
  EXPECT_EQ(label.linkTopic(), "");
  EXPECT_EQ(toolkit.mousePointer(), 0);
  EXPECT_EQ(busyDepth, 0);

  progman.refuse = true;
  dde.registerServer("PROGMAN", progman);
  CreateOSLink(frm, "Pelmora", "C:\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  EXPECT_EQ(progman.received.size(), 3u);  // every command still tried
  EXPECT_EQ(label.linkMode(), 0);
  EXPECT_EQ(label.linkTopic(), "");
  EXPECT_EQ(toolkit.pointerHistory, (Ints{11, 0, 11, 0}));
  EXPECT_TRUE(frm.lines.empty());
}

TEST_F(ProgramGroupTest, OtherRequestCodesOpenAndCloseWithoutCommands) {
  dde.registerServer("PROGMAN", progman);
  frm.ddeLink = &label;
  PerformDDE(frm, "Pelmora", "C:\\x.exe ", "x", 1, false);
  EXPECT_TRUE(progman.received.empty());
  EXPECT_EQ(label.linkMode(), 0);
  EXPECT_EQ(toolkit.eventPasses, 10);
}

TEST_F(ProgramGroupTest, HourglassOfAnOuterCallerStaysUp) {
  dde.registerServer("PROGMAN", progman);
  frm.ddeLink = &label;
  SetBusyPointer(11, toolkit);
  CreateOSLink(frm, "Pelmora", "C:\\x.exe", "", "x", true);
  EXPECT_EQ(toolkit.mousePointer(), 11);
  SetBusyPointer(0, toolkit);
  EXPECT_EQ(toolkit.mousePointer(), 0);
}

// The whole road: the executables stage's three shortcuts, twice, through
// lblDDE and the in-process Program Manager onto the machine's disk.
TEST_F(ProgramGroupTest, ShortcutsReachTheMachineOnceEach) {
  posix::Machine machine(scratch.path() / "machine");
  posix::ProgramManager manager(machine);
  dde.registerServer("PROGMAN", manager);
  frm.ddeLink = &label;

  for (int run = 0; run < 2; ++run) {
    CreateOSLink(frm, "Pelmora", "C:\\Program Files\\Pelmora\\Pelmora.exe", "", "Pelmora v.1.9.5",
                 true);
    CreateOSLink(frm, "Pelmora", "C:\\Program Files\\Pelmora\\EULA.txt", "", "EULA", true);
    CreateOSLink(frm, "Pelmora", "C:\\Program Files\\Pelmora\\PMUninstall.exe", "", "PMUninstall",
                 true);
  }

  const auto group =
      machine.root() / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelmora";
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(group))
    files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Strings{"EULA.desktop", "PMUninstall.desktop", "Pelmora v.1.9.5.desktop"}));

  const auto items = manager.items("Pelmora");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[2].title, "Pelmora v.1.9.5");
  EXPECT_EQ(items[2].commandLine, "C:\\Program Files\\Pelmora\\Pelmora.exe ");
  EXPECT_EQ(label.linkMode(), 0);
}

}  // namespace
}  // namespace pm
