// DDE to the system's Program Manager through DDEML. Under Wine it answers only
// with a display (CTest gives it Xvfb).
#include <gtest/gtest.h>

#include "platform/win32/ddemlClient.h"

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

}  // namespace
}  // namespace pm::win32
