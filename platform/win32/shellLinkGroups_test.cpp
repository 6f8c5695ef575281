// The program group without a Program Manager, under Wine without a display:
// the items are shell links in the Start Menu's Programs folder for all users.
#include "platform/win32/shellLinkGroups.h"

#include <windows.h>
// after windows.h, whose types they use
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

struct NoProgramManager : DdeSystem {
  Result<std::unique_ptr<DdeConversation>> connect(const std::string&,
                                                   const std::string&) override {
    return Status::failure("no DDE server answered");
  }
};

// The program and arguments a shell link starts; empty when it cannot be read.
std::pair<std::string, std::string> linkTarget(const std::string& file) {
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  wchar_t path[MAX_PATH] = L"", arguments[MAX_PATH] = L"";
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(widen(file).c_str(), STGM_READ))) {
    link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, MAX_PATH);
  }
  if (persist) persist->Release();
  if (link) link->Release();
  return {narrow(path), narrow(arguments)};
}

TEST(ShellLinkDde, WithoutAProgramManagerTheGroupIsMadeOfShellLinks) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  NoProgramManager none;
  ShellLinkDde dde(none);
  EXPECT_FALSE(dde.connect("OTHER", "OTHER").ok());
  auto conv = dde.connect("PROGMAN", "PROGMAN");
  ASSERT_TRUE(conv.ok()) << conv.message();
  DdeConversation& c = *conv.value();
  const std::string group =
      "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\PMSetup check";
  const std::string notepad = "C:\\windows\\notepad.exe";

  EXPECT_FALSE(c.execute("[ReplaceItem(Pelmora v.1.9.5)]", 100).ok());  // no group open
  ASSERT_TRUE(c.execute("[CreateGroup(PMSetup check)]", 100).ok());
  EXPECT_FALSE(c.execute("[ReplaceItem(Pelmora v.1.9.5)]", 100).ok());  // no such item
  const struct {
    std::string command, file, program, arguments;
  } items[] = {
      {"[AddItem(" + notepad + " ,Pelmora v.1.9.5,,,)]", "Pelmora v.1.9.5.lnk", notepad, ""},
      {"[AddItem(\"" + notepad + "\" /p a.txt,\"Notes: a, b\",,,)]", "Notes_ a, b.lnk", notepad,
       "/p a.txt"},
  };
  for (const auto& item : items) {
    ASSERT_TRUE(c.execute(item.command, 100).ok()) << item.command;
    EXPECT_EQ(linkTarget(group + "\\" + item.file), std::make_pair(item.program, item.arguments))
        << item.command;
  }
  EXPECT_TRUE(c.execute("[CreateGroup(PMSetup check)][ReplaceItem(Pelmora v.1.9.5)]", 100).ok());
  EXPECT_EQ(GetFileAttributesW(widen(group + "\\Pelmora v.1.9.5.lnk").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(c.execute("[CreateGroup(..\\outside)]", 100).ok());
  DeleteFileW(widen(group + "\\Notes_ a, b.lnk").c_str());
  RemoveDirectoryW(widen(group).c_str());
  CoUninitialize();
}

}  // namespace
}  // namespace pm::win32
