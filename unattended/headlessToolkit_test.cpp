// The answers the unattended installer gives that its end-to-end roads do not
// play: an agreement it cannot show, an empty name, "help = no" under a full
// install, and the clock that does not wait.
#include "unattended/headlessToolkit.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "console/frmEULA.h"
#include "console/frmOptions.h"
#include "console/frmRegName.h"
#include "tests/windowTestRig.h"
#include "unattended/unpacedClock.h"

namespace pm::unattended {
namespace {

TEST(HeadlessToolkitTest, AnAgreementThatCannotBeShownIsNotAcceptedAndSaysSo) {
  testing::WindowTestRig rig;  // no Eula.txt in C:\setup
  std::ostringstream notes;
  HeadlessToolkit toolkit(parseAnswers("agreement = accept\n", "t.ini").value(), notes);
  bool eulaAccepted = false;
  frmEULA missing(rig.fs, "C:\\setup", eulaAccepted);
  toolkit.showModal(missing, nullptr);
  EXPECT_FALSE(eulaAccepted);
  EXPECT_NE(notes.str().find("could not be shown"), std::string::npos) << notes.str();
}

TEST(HeadlessToolkitTest, AFullInstallKeepsItsHelpAndAnEmptyNameIsAName) {
  std::ostringstream notes;
  HeadlessToolkit toolkit(
      parseAnswers("agreement = accept\nfull = yes\nhelp = no\nname = \"\"\n", "t.ini").value(),
      notes);
  frmOptions options;
  toolkit.showModal(options, nullptr);
  EXPECT_TRUE(options.optHelp);
  EXPECT_TRUE(options.optSamples);
  frmRegName name;
  name.regName = "Ann";
  toolkit.showModal(name, nullptr);
  EXPECT_EQ(name.regName, "");
}

}  // namespace
}  // namespace pm::unattended
