// The library stage on a test machine, the archiver and regsvr32 played by the
// fake runner: what the report and the run's record say about a library.
#include "packages/libraryCheck.h"

#include <gtest/gtest.h>

#include "tests/fakeInstallWindow.h"
#include "tests/windowTestRig.h"

namespace pm {
namespace {

// regsvr32's exit code decides the library's line; a failure is recorded and
// the stage goes on to its end.
TEST(LibraryCheck, ARegistrationThatFailsIsToldWithItsExitCode) {
  struct Row {
    int code;
    std::string line;
  };
  for (const Row& r : {Row{0, "Extracted, registered plmcal32.dll. New file install."},
                       Row{5,
                           "Extracted, not registered (regsvr32 exit code 5) plmcal32.dll. "
                           "New file install."},
                       Row{-1,
                           "Extracted, not registered (regsvr32 could not be started) "
                           "plmcal32.dll. New file install."}}) {
    testing::WindowTestRig rig;
    testing::FakeInstallWindow frm{rig.services};
    // New to the machine each time (on Windows the rigs of a case share drive C:).
    rig.fs.deleteFile(rig.fs.systemFolder().value() + "\\plmcal32.dll");
    rig.processes.onRun = [&](const std::string& cmdline, const std::vector<std::string>& args) {
      // Cabarc -o x|X "TEMP\CABINET" MEMBER "TEMP"\ puts MEMBER into TEMP.
      if (args.size() == 6 && args[0] == "Cabarc")
        return rig.fs.writeText(args[5] + args[4],
                                args[4] == "library.txt" ? "plmcal32.dll\r\n" : "a library")
                   ? 0
                   : 1;
      return cmdline == "regsvr32 /s plmcal32.dll" ? r.code : 0;
    };
    libraryCheck(frm);
    const auto& lines = frm.lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], r.line);
    EXPECT_EQ(lines.back(), "Library Files Installed.");
    EXPECT_EQ(frm.state().failures.size(), r.code == 0 ? 0u : 1u) << r.code;
  }
}

}  // namespace
}  // namespace pm
