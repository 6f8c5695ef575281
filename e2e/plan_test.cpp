// A plan changes nothing, and tells the truth: the real PMSetupUnattended
// --plan on copies of the demo (a first install, an upgrade, a second run, a
// failing database stage and the hostile cases), every file of the installer
// folder, the machine and the temporary folder compared before and after the
// plan, then the install run on the same machine and its report, exit code and
// files compared with what the plan said.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2eSupport.h"

namespace pm::e2e {
namespace {

// Everything of the installer folder and the machine that a change could
// touch: names, kinds, modes, times, sizes and contents; and that the
// temporary folder holds nothing.
std::string snapshot(const fs::path& root) {
  std::ostringstream out;
  EXPECT_TRUE(!fs::exists(root / "tmp") || fs::is_empty(root / "tmp"));
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path() == root / "tmp") continue;
    struct stat st {};
    ::lstat(it->path().c_str(), &st);
    out << fs::relative(it->path(), root).string() << " " << std::oct << st.st_mode << std::dec
        << " " << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
    if (S_ISREG(st.st_mode))
      out << " " << st.st_size << " " << std::hash<std::string>{}(readFile(it->path()));
    out << "\n";
  }
  return out.str();
}

struct Plan {
  int exitCode = -1;
  std::string report;  // the report lines, as the install prints them
  std::string rest;    // what follows them
};

// The answer file is written beforehand (answers.ini beside the installer folder).
Plan plan(DemoCopy& demo) {
  const RunResult r = shell("cd " + shq(demo.setup) + " && TMPDIR=" + shq(demo.root / "tmp") +
                            " PMSETUP_MACHINE=" + shq(demo.machine) +
                            " ./PMSetupUnattended --plan " + shq(demo.root / "answers.ini"));
  const std::size_t cut = r.out.find("\n=== Plan: ");
  return {r.exitCode, r.out.substr(0, cut == std::string::npos ? 0 : cut), r.out.substr(cut + 1)};
}

// The report with the random part of the private folders' names masked.
std::string masked(std::string text) {
  for (const char* name : {"PMUpTemp-", "PMInstall-"}) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
      text.replace(at + std::string(name).size(), 6, "XXXXXX");
  }
  return text;
}

// The host path of a Windows path of the demo machine.
fs::path hostPath(const DemoCopy& demo, std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.starts_with("C:")) return demo.machine / "drive_c" / path.substr(3);
  return fs::path(path.substr(2));
}

// Each file line of the plan ("  new  PATH  SIZE bytes, ...", "  replaced  PATH
// OLD bytes, ... -> NEW bytes, ...") against the machine after the install.
void expectFilesAsPlanned(const DemoCopy& demo, const std::string& planText) {
  std::istringstream lines(planText.substr(0, planText.find("\nDatabase")));
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("  ")) continue;
    const std::size_t pathAt = line.find("  ", 2) + 2;
    const std::string kind = line.substr(2, pathAt - 4);
    const std::size_t end = line.find("  ", pathAt);
    const fs::path file = hostPath(demo, line.substr(pathAt, end - pathAt));
    if (kind == "deleted" || kind == "folder-removed" || kind == "link-removed") {
      EXPECT_FALSE(fs::exists(file)) << line;
    } else if (kind == "folder-made") {
      EXPECT_TRUE(fs::is_directory(file)) << line;
    } else {
      const std::size_t arrow = line.find(" -> ");
      const std::string size = line.substr(arrow == std::string::npos ? end + 2 : arrow + 4);
      ASSERT_TRUE(fs::exists(file)) << line;
      EXPECT_EQ(std::to_string(fs::file_size(file)), size.substr(0, size.find(' '))) << line;
    }
  }
}

const std::string kAnswers = "agreement = accept\nname = Ann O'Neill\nhelp = yes\n";

struct Case {
  const char* what;
  std::function<void(DemoCopy&)> prepare;
  int exitCode;
  std::string answers = kAnswers;
  bool holdDatabase = false;  // open in another program while the plan and the install run
  const char* expected = "";  // what the plan's changes must hold
};

TEST(Plan, ChangesNothingAndTellsWhatTheInstallThenDoes) {
  const std::vector<Case> cases = {
      {"an upgrade", [](DemoCopy&) {}, 0, kAnswers, false,
       "  backup  C:\\Program Files\\Pelmora\\DorvaneBKUP.mdb  (none) -> "},
      {"a first install",
       [](DemoCopy& demo) {
         fs::remove_all(demo.appFolder());
         fs::remove(demo.machine / "registry" / "HKEY_CURRENT_USER.reg");
       },
       0, kAnswers + "folder = C:\\Pelmora\n", false, "  folder-made  C:\\Pelmora\n"},
      {"a second run", [](DemoCopy& demo) { ASSERT_EQ(demo.unattended(kAnswers).exitCode, 0); }, 0,
       kAnswers, false, "(renamed from C:\\Program Files\\Pelmora\\DorvaneBKUP.mdb)"},
      {"a read-only database",
       [](DemoCopy& demo) {
         fs::permissions(demo.appFolder() / "Dorvane.mdb",
                         fs::perms::all & ~fs::perms::owner_write & ~fs::perms::group_write &
                             ~fs::perms::others_write);
       },
       3},
      {"a database in use", [](DemoCopy&) {}, 3, kAnswers, true},
      {"a link planted as PMUpTemp",
       [](DemoCopy& demo) {
         fs::create_directory(demo.root / "victim");
         writeFile(demo.root / "victim" / "notes.txt", "the user's");
         fs::create_directory_symlink(demo.root / "victim", demo.setup / "PMUpTemp");
       },
       0, kAnswers, false, "  link-removed  "},
      {"a damaged cabinet",
       [](DemoCopy& demo) {
         const std::string cabinet = readFile(demo.setup / "PLMHelp.CAB");
         writeFile(demo.setup / "PLMHelp.CAB", cabinet.substr(0, cabinet.size() - 40));
       },
       6, kAnswers, false, "The install would not start: The installer file PLMHelp.CAB"},
  };
  for (const Case& c : cases) {
    DemoCopy demo;
    fs::create_directories(demo.root / "tmp");
    c.prepare(demo);
    const int held = c.holdDatabase
                         ? ::open((demo.appFolder() / "Dorvane.mdb").c_str(), O_RDONLY | O_CLOEXEC)
                         : -1;
    writeFile(demo.root / "answers.ini", c.answers);
    const std::string before = snapshot(demo.root);
    const Plan planned = plan(demo);
    EXPECT_EQ(snapshot(demo.root), before) << c.what;
    EXPECT_EQ(planned.exitCode, c.exitCode) << c.what << planned.rest;
    EXPECT_NE(planned.rest.find("\nExit code: " + std::to_string(c.exitCode) + "\n"),
              std::string::npos)
        << c.what << planned.rest;
    EXPECT_NE(planned.rest.find(c.expected), std::string::npos) << c.what << planned.rest;

    const RunResult installed = demo.unattended(c.answers);
    if (held >= 0) ::close(held);
    EXPECT_EQ(installed.exitCode, c.exitCode) << c.what << installed.err;
    EXPECT_EQ(masked(planned.report), masked(installed.out)) << c.what;
    if (c.exitCode != 6) expectFilesAsPlanned(demo, planned.rest);
  }
}

// A read-only installer folder (a CD): the plan names the private folders the
// install would use, and the install then works from them.
TEST(Plan, AReadOnlyInstallerFolderIsPlannedAsInstalled) {
  DemoCopy demo;
  fs::create_directories(demo.root / "tmp");
  writeFile(demo.root / "answers.ini", kAnswers);
  const std::string setup = shq(demo.setup);
  const auto run = [&](const std::string& flags) {
    return shell("unshare -rm sh -c " +
                 shq("mount --bind " + setup + " " + setup + " && mount -o remount,bind,ro " +
                     setup + " || exit 77; cd " + setup + " && TMPDIR=" + shq(demo.root / "tmp") +
                     " PMSETUP_MACHINE=" + shq(demo.machine) + " ./PMSetupUnattended " + flags +
                     " " + shq(demo.root / "answers.ini")));
  };
  const std::string before = snapshot(demo.root);
  const RunResult planned = run("--plan");
  if (planned.exitCode == 77 || planned.err.starts_with("unshare:"))
    GTEST_SKIP() << "cannot mount read-only here: " << planned.err;
  EXPECT_EQ(planned.exitCode, 0) << planned.err;
  EXPECT_EQ(snapshot(demo.root), before);
  const RunResult installed = run("--no-pacing");
  EXPECT_EQ(installed.exitCode, 0) << installed.err;
  EXPECT_EQ(masked(planned.out.substr(0, planned.out.find("\n=== Plan: "))), masked(installed.out));
}

// The JSON document holds what the text says, for fleet tools.
TEST(Plan, TheJsonDocumentIsOneDocumentWithTheSameReportAndExitCode) {
  DemoCopy demo;
  writeFile(demo.root / "answers.ini", kAnswers);
  const RunResult r =
      shell("cd " + shq(demo.setup) + " && PMSETUP_MACHINE=" + shq(demo.machine) +
            " ./PMSetupUnattended --plan --plan-format=json " + shq(demo.root / "answers.ini") +
            " | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d[\"schema\"], "
            "d[\"exitCode\"], d[\"report\"][-1], [f[\"change\"] for f in d[\"database\"]], "
            "len(d[\"statements\"]), d[\"programs\"][-1][\"waited\"])'");
  EXPECT_EQ(r.out, "pmsetup-plan/1 0 Install Complete. ['backup', 'replaced'] 2 True\n") << r.err;
}

}  // namespace
}  // namespace pm::e2e
