// The unattended front end as a program, and the demo it runs on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/e2eSupport.h"

namespace pm::e2e {
namespace {

TEST(UnattendedFrontEnd, RefusesBadInputBeforeTheMachineIsTouched) {
  DemoCopy demo;
  const fs::path untouched = demo.root / "no-machine-yet";
  struct Case {
    std::string answers;    // empty: no answer file at all
    std::string arguments;  // before the answer file
    std::string message;    // expected on stderr
  };
  const std::vector<Case> cases = {
      {"agreement = accept\nhelp = perhaps\n", "", "answers.ini:2: \"help\" must be yes or no"},
      {"agreement = accept\n\nwindow = big\n", "", "answers.ini:3: unknown key \"window\""},
      {"# nothing answered\n", "", "answers.ini: \"agreement\" is missing"},
      {"agreement = accept\n", "--fast", "unknown option --fast"},
  };
  for (const Case& c : cases) {
    writeFile(demo.root / "answers.ini", c.answers);
    const RunResult run =
        shell("cd " + shq(demo.setup) + " && PMSETUP_MACHINE=" + shq(untouched) +
              " ./PMSetupUnattended " + c.arguments + " " + shq(demo.root / "answers.ini"));
    EXPECT_EQ(run.exitCode, 64) << c.answers;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const RunResult missing =
      shell("cd " + shq(demo.setup) + " && PMSETUP_MACHINE=" + shq(untouched) +
            " ./PMSetupUnattended " + shq(demo.root / "absent.ini"));
  EXPECT_EQ(missing.exitCode, 64);
  EXPECT_NE(missing.err.find("absent.ini"), std::string::npos);
  EXPECT_FALSE(fs::exists(untouched));  // no machine skeleton was even made
  EXPECT_FALSE(fs::exists(demo.debugFile()));
  EXPECT_FALSE(fs::exists(demo.setup / "PMUpTemp"));
}

TEST(UnattendedFrontEnd, PacedRunsWaitForTheClockAndUnpacedOnesDoNot) {
  // The first report line waits for a change of the wall clock's second; a run
  // that is declined at once still writes about twenty lines.
  DemoCopy demo;
  writeFile(demo.root / "answers.ini", "agreement = decline\n");
  const std::string run = "cd " + shq(demo.setup) + " && PMSETUP_MACHINE=" + shq(demo.machine) +
                          " ./PMSetupUnattended ";
  const RunResult timed = shell("start=$(date +%s%N); " + run + shq(demo.root / "answers.ini") +
                                " >/dev/null 2>&1; echo $(( ($(date +%s%N) - start) / 1000000 ))");
  const long pacedMs = std::stol(timed.out);
  EXPECT_GE(pacedMs, 10 * 1000) << "paced run took " << pacedMs << " ms";
  const RunResult fast =
      shell("start=$(date +%s%N); " + run + "--no-pacing " + shq(demo.root / "answers.ini") +
            " >/dev/null 2>&1; echo $(( ($(date +%s%N) - start) / 1000000 ))");
  EXPECT_LT(std::stol(fast.out), 10 * 1000);
}

TEST(UnattendedFrontEnd, LaunchStartsTheUpgradedProgramWhichReadsTheNewName) {
  DemoCopy demo;
  writeFile(demo.root / "answers.ini", "agreement = accept\nname = Ann Lee\nlaunch = yes\n");
  // The program is started without waiting for it: its line may come after
  // the installer has ended.
  const fs::path notes = demo.root / "notes.txt";
  const RunResult run =
      shell("cd " + shq(demo.setup) + " && PMSETUP_MACHINE=" + shq(demo.machine) +
            " ./PMSetupUnattended --no-pacing " + shq(demo.root / "answers.ini") + " 2>" +
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

TEST(DemoAssembly, CabinetsHoldTheirListsAndWhatTheyNameWithFixedTimes) {
  DemoCopy demo;
  const fs::path payload = sourceDir() / "demo" / "payload";
  struct Cabinet {
    const char* file;
    const char* list;
    std::vector<std::string> unlisted;
  };
  for (const Cabinet& c : {Cabinet{"Pelmora.CAB", "upgrade.txt", {"Dorvane.mdb"}},
                           Cabinet{"PLMLibrary.CAB", "library.txt", {}},
                           Cabinet{"PLMHelp.CAB", "help.txt", {"draft-notes.htm"}}}) {
    SCOPED_TRACE(c.file);
    std::vector<std::string> expected{c.list};
    bool quotedLine = false;
    std::string list = readFile(payload / fs::path(c.file).stem() / c.list);
    std::erase(list, '\r');
    std::size_t start = 0;
    while (start < list.size()) {
      std::size_t end = list.find('\n', start);
      std::string line = list.substr(start, end - start);
      quotedLine = quotedLine || line.find('"') != std::string::npos;
      std::erase(line, '"');
      if (!line.empty()) expected.push_back(line);
      start = end == std::string::npos ? list.size() : end + 1;
    }
    EXPECT_TRUE(quotedLine) << "every list has a quoted line";
    expected.insert(expected.end(), c.unlisted.begin(), c.unlisted.end());

    std::vector<std::string> names;
    for (const Member& m : listCabinet(demo.setup / c.file)) {
      names.push_back(m.name);
      EXPECT_EQ(m.date + " " + m.time, "2026-03-14 09:26:52") << m.name;
    }
    EXPECT_EQ(names, expected);

    // An independent reader sees the same members.
    const RunResult peer = shell("cabextract -l " + shq(demo.setup / c.file));
    ASSERT_EQ(peer.exitCode, 0) << peer.err;
    for (const std::string& name : expected) {
      EXPECT_NE(peer.out.find("| 14.03.2026 09:26:52 | " + name + "\n"), std::string::npos) << name;
    }
  }
  // The installer folder is complete.
  for (const char* f :
       {"PMSetup", "PMSetupUnattended", "Cabarc", "regsvr32", "VBRun60", "Eula.txt"}) {
    EXPECT_TRUE(fs::exists(demo.setup / f)) << f;
  }
}

}  // namespace
}  // namespace pm::e2e
