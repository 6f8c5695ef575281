// DDE to the system's Program Manager through DDEML. Under Wine it answers only
// with a display (CTest gives it Xvfb).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ddeLinks.h"
#include "platform/win32/ddemlClient.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

TEST(Ddeml, ProgramManagerTakesGroupCommandsAndRefusesWhatItCannotDo) {
  DdemlSystem dde;
  EXPECT_FALSE(dde.connect("NOSUCHSERVICE", "NOSUCHTOPIC").ok());
  auto conv = dde.connect("PROGMAN", "PROGMAN");
  ASSERT_TRUE(conv.ok()) << conv.message();
  EXPECT_TRUE(conv.value()->execute("[CreateGroup(PMSetup DDE check)]", 50).ok());
  // An item that is not there cannot be replaced.
  const Status missing = conv.value()->execute("[ReplaceItem(No such item)]", 50);
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("ReplaceItem"), std::string::npos) << missing.message();
  EXPECT_TRUE(conv.value()->execute("[DeleteGroup(PMSetup DDE check)]", 50).ok());
}

// A folder named to close the command and open others: quoted, it stays one
// argument, the item points into it, and the other group keeps its item.
TEST(Ddeml, AFolderNameCannotInjectProgramManagerCommands) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::string parent = narrow(temp) + "PMSetup DDE";
  const std::string folder = parent + "\\Pel)][DeleteGroup(PMSetup victim)][AddItem(x";
  CreateDirectoryW(widen(parent).c_str(), nullptr);
  CreateDirectoryW(widen(folder).c_str(), nullptr);
  std::ofstream(std::filesystem::path(widen(folder + "\\Pelmora.exe"))) << "MZ";
  const auto send = [](DdeConversation& c, const std::string& name, std::vector<std::string> args) {
    const auto command = progManCommand(name, args);
    return command ? c.execute(command.value(), 50) : command.status();
  };

  DdemlSystem dde;
  auto conv = dde.connect("PROGMAN", "PROGMAN");
  ASSERT_TRUE(conv.ok()) << conv.message();
  DdeConversation& c = *conv.value();
  ASSERT_TRUE(send(c, "CreateGroup", {"PMSetup victim"}));
  ASSERT_TRUE(send(c, "AddItem", {folder + "\\Pelmora.exe ", "Kept", "", "", ""}));
  ASSERT_TRUE(send(c, "CreateGroup", {"PMSetup DDE check"}));
  EXPECT_TRUE(send(c, "AddItem", {folder + "\\Pelmora.exe ", "Pelmora v.1.9.5", "", "", ""}));
  EXPECT_TRUE(send(c, "ReplaceItem", {"Pelmora v.1.9.5"})) << "the item was not made";
  EXPECT_TRUE(send(c, "CreateGroup", {"PMSetup victim"}));
  EXPECT_TRUE(send(c, "ReplaceItem", {"Kept"})) << "the other group lost its item";
  EXPECT_TRUE(send(c, "DeleteGroup", {"PMSetup victim"}));
  EXPECT_TRUE(send(c, "DeleteGroup", {"PMSetup DDE check"}));
}

}  // namespace
}  // namespace pm::win32
