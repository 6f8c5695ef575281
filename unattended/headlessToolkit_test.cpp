// What the unattended installer's end-to-end roads do not play: an agreement
// it cannot show is not accepted.
#include "unattended/headlessToolkit.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "console/frmEULA.h"
#include "tests/windowTestRig.h"

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

}  // namespace
}  // namespace pm::unattended
