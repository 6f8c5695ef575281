// The unattended front end as a program: its command line, its launch of
// Pelmora and its exit codes outside the install roads.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2eSupport.h"

namespace pm::e2e {
namespace {

// PMSetupUnattended started from the demo's installer folder on `machine`.
std::string program(const DemoCopy& demo, const fs::path& machine) {
  return "cd " + shq(demo.setup) + " && PMSETUP_MACHINE=" + shq(machine) + " ./PMSetupUnattended ";
}

TEST(UnattendedFrontEnd, RefusesBadInputBeforeTheMachineIsTouched) {
  DemoCopy demo;
  const fs::path untouched = demo.root / "no-machine-yet";
  const fs::path answers = demo.root / "answers.ini";
  const struct {
    std::string answers, arguments, message;
  } cases[] = {
      {"agreement = accept\n\nwindow = big\n", "", "answers.ini:3: unknown key \"window\""},
      {"agreement = accept\n", "--fast", "unknown option --fast"},
      {"", "", "absent.ini"},
  };
  for (const auto& c : cases) {
    writeFile(answers, c.answers);
    const fs::path file = c.answers.empty() ? demo.root / "absent.ini" : answers;
    const RunResult run = shell(program(demo, untouched) + c.arguments + " " + shq(file));
    EXPECT_EQ(run.exitCode, 64) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(fs::exists(untouched));  // no machine skeleton was even made
  EXPECT_FALSE(fs::exists(demo.debugFile()));
  EXPECT_FALSE(fs::exists(demo.setup / "PMUpTemp"));
}

// --help prints the usage and changes nothing, as VBRun60 without options
// does; PMSetup without a display names the unattended installer (69).
TEST(FrontEnds, HelpAndAMissingDisplayChangeNothing) {
  DemoCopy demo;
  const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
  const struct {
    std::string command;
    int code;
    std::string says;
  } cases[] = {
      {"./PMSetup --help", 0, "usage: PMSetup"},
      {noDisplay + "./PMSetup", 69, "PMSetupUnattended ANSWER_FILE"},
      {noDisplay + "DISPLAY=:987 ./PMSetup", 69, "PMSetupUnattended ANSWER_FILE"},
      {"./PMSetupUnattended --help", 0, "usage: PMSetupUnattended"},
      {"./regsvr32 --help", 0, "Usage: regsvr32"},
      {"./VBRun60", 1, "Usage: VBRun60"},
      {"./VBRun60 --help", 0, "Usage: VBRun60"},
  };
  const auto before = filesBelow(demo.root);
  for (const auto& c : cases) {
    const RunResult run = shell("cd " + shq(demo.setup) +
                                " && PMSETUP_MACHINE=" + shq(demo.machine) + " " + c.command);
    EXPECT_EQ(run.exitCode, c.code) << c.command;
    EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << c.command << run.err;
  }
  EXPECT_EQ(filesBelow(demo.root), before);
  // Every script says how it is used, at once (nothing built or installed).
  for (const auto& script : fs::directory_iterator(sourceDir() / "scripts")) {
    if ((script.status().permissions() & fs::perms::owner_exec) == fs::perms::none) continue;
    const RunResult run = shell("timeout 20 " + shq(script.path()) + " --help");
    EXPECT_EQ(run.exitCode, 0) << script.path();
    EXPECT_NE(run.out, "") << script.path();
    EXPECT_EQ(run.out.find("set -"), std::string::npos) << script.path() << run.out;
  }
}

TEST(UnattendedFrontEnd, LaunchStartsTheUpgradedProgramWhichReadsTheNewName) {
  DemoCopy demo;
  writeFile(demo.root / "answers.ini", "agreement = accept\nname = Ann Lee\nlaunch = yes\n");
  // The program is started without waiting for it: its line may come after
  // the installer has ended.
  const fs::path notes = demo.root / "notes.txt";
  const RunResult run =
      shell(program(demo, demo.machine) + "--no-pacing " + shq(demo.root / "answers.ini") + " 2>" +
            shq(notes) + "; code=$?; for i in $(seq 100); do grep -q 'registered to' " +
            shq(notes) + " && break; sleep 0.1; done; exit $code");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(readFile(notes).find("Pelmora v.1.9.5 is registered to Ann Lee."), std::string::npos)
      << readFile(notes);
  EXPECT_EQ(run.out.find("registered to"), std::string::npos);  // stdout is the report alone
}

TEST(UnattendedFrontEnd, AReportThatCannotBeWrittenIsAFailure) {
  DemoCopy demo;
  fs::create_directory(demo.debugFile());  // in the way of the debug file
  const RunResult run = demo.unattended("agreement = accept\n");
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.err.find("the report was not written to"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace pm::e2e
