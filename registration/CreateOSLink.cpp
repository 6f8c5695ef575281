#include "registration/CreateOSLink.h"

#include <vector>

#include "install/basCommon.h"
#include "platform/ddeLinks.h"
#include "platform/result.h"

namespace pm {
namespace {

constexpr const char* kProgramManager = "PROGMAN|PROGMAN";
constexpr int kTopicAttempts = 20;
constexpr int kSettlePasses = 10;
constexpr int kCommandTimeoutTenths = 100;  // ten seconds per request

constexpr std::int16_t kHourglass = 11;
constexpr std::int16_t kDefaultPointer = 0;

// The conversation reports nothing: a failing link operation is passed over
// and the next one runs.
void ignoreFailure(const Status&) {}

// Keeps the hourglass up for the conversation, and takes it down again however
// the conversation ends (a queued "Cancel" can end the program in an event pass).
class BusyPointer {
 public:
  BusyPointer(ui::Toolkit& toolkit, std::int16_t& depth) : toolkit_(toolkit), depth_(depth) {
    SetBusyPointer(kHourglass, toolkit_, depth_);
  }
  ~BusyPointer() { SetBusyPointer(kDefaultPointer, toolkit_, depth_); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  ui::Toolkit& toolkit_;
  std::int16_t& depth_;
};

}  // namespace

void CreateOSLink(InstallWindow& frm, std::string strGroupName, std::string strLinkPath,
                  std::string strLinkArguments, std::string strLinkName, bool /*fPrivate*/) {
  std::string path = UnquotePath(std::move(strLinkPath));
  path = ShortPathOf(frm.services().fs, path);
  // The blank stays even when there are no arguments.
  const std::string cmdLine = path + " " + strLinkArguments;
  CreateProgManItem(frm, std::move(strGroupName), cmdLine, std::move(strLinkName), false);
}

void CreateProgManItem(InstallWindow& frm, std::string strGroupName, std::string strCmdLine,
                       std::string strIconTitle, bool fLog) {
  PerformDDE(frm, std::move(strGroupName), std::move(strCmdLine), std::move(strIconTitle), 0, fLog);
}

void PerformDDE(InstallWindow& frm, std::string strGroup, std::string strCmd, std::string strTitle,
                std::int16_t intDDE, bool /*fLog*/) {
  // The group, command line and title travel inside the command text: each is
  // quoted where it holds the syntax's own characters, so a folder named
  // "x)][DeleteGroup(y" stays one argument. One that cannot be carried is told
  // and recorded, and nothing is sent for the item.
  std::vector<std::string> commands;
  if (intDDE == 0) {
    for (auto command :
         {progManCommand("CreateGroup", {strGroup}), progManCommand("ReplaceItem", {strTitle}),
          progManCommand("AddItem", {strCmd, strTitle, "", "", ""})}) {
      if (!command) {
        frm.reportFailure("installCheck",
                          "Could not create the shortcut " + strTitle + ": " + command.message());
        return;
      }
      commands.push_back(std::move(command).value());
    }
  }

  BusyPointer busy(frm.services().toolkit, frm.state().busyDepth);
  DdeLink& link = frm.lblDDE();

  // The service may be busy starting up: give it a few event passes to answer.
  for (int attempt = 0; attempt < kTopicAttempts; ++attempt) {
    if (link.setLinkTopic(kProgramManager)) break;
    frm.doEvents();
  }

  const Status opened = link.setLinkMode(2);
  for (int pass = 0; pass < kSettlePasses; ++pass) frm.doEvents();
  ignoreFailure(link.setLinkTimeout(kCommandTimeoutTenths));

  // CreateGroup, ReplaceItem, AddItem. ReplaceItem fails when the group has no
  // item of this title yet; that is expected. An item that neither the Program
  // Manager nor the platform's other way (shell links on Windows) could make
  // is one line and a recorded failure.
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const Status sent = link.linkExecute(commands[i]);
    if (!sent && i + 1 == commands.size()) {
      frm.reportFailure("installCheck", "Could not create the shortcut " + strTitle + ": " +
                                            (opened ? sent : opened).message());
    }
  }

  ignoreFailure(link.setLinkMode(0));
  ignoreFailure(link.setLinkTopic(""));
}

}  // namespace pm
