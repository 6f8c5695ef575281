// The whole install road, run by PMSetupUnattended on a copy of the demo: the
// debug file byte for byte, and what the machine holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/e2eSupport.h"

namespace pm::e2e {
namespace {

using Lines = std::vector<std::string>;

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Lines kLibrary = {"Library File Check",
                        "Installing VBRuntime",
                        "Installing Scripting RunTime",
                        "Temporary directory created.",
                        "Copied Extraction files.",
                        "plmcal32.dll exists.",
                        "Extracted, registered plmgrid.ocx. New file install.",
                        "Extracted, registered plmrpt32.dll. New file install.",
                        "Library Files Installed."};
const Lines kValidated = {"Previous Install at : C:\\Program Files\\Pelmora",
                          "Previous Executable found.", "Previous Database found.",
                          "--- Previous install validation complete.", ""};
const Lines kDataSource = {"ODBC.INI Registry check",
                           "ODBC Initialization registers complete.",
                           "ODBC Engine registers complete.",
                           "ODBC Engines\\Jet registers complete.",
                           "ODBC Data Sources registers complete. DSN Complete.",
                           "Test DSN Connection Passed",
                           "--- Database Install Complete",
                           ""};
const Lines kEnvironment = {"Environment Settings Check", "Resetting icon variables.",
                            "Please register your name for the install.",
                            "--- Environment values completed.", ""};
const Lines kExecutables = {"--- Install Executables",
                            "Extracting Files to temporary directory",
                            "Extracting and Installing Pelmora.exe",
                            "Extracting and Installing PMUninstall.exe",
                            "Extracting and Installing EULA.txt",
                            "Extracting and Installing pmlra2.ico",
                            "Extracting and Installing books05.ico",
                            "Extracting and Installing goaltarget.ico",
                            "Extraction and copy complete",
                            "Completing extraction check and copy complete",
                            "Creating Icons"};
const Lines kHelp = {"Help folders creating, extracting files",
                     "Extracting All Help Files",
                     "Copying content.pmh",
                     "Copying welcome.htm",
                     "Copying \"getting-started.htm\"",
                     "Copying goals.htm",
                     "Copying dictionaries.htm"};
const Lines kEnd = {"INSTALL COMPLETE", "Deleting temporary data", "Install Complete."};

Lines database(const DemoCopy& demo, bool existed) {
  return Lines{"DATABASE Upgrade Installation",
               existed ? "Database exists.  Making backup and overwriting."
                       : "Database not found, Creating blank database.",
               "Extracting database to " + demo.tempFolderName(), "Copying database"} +
         kDataSource;
}

// The report of an accepted upgrade of the demo's earlier installation, up to
// the help stage.
Lines upgraded(const DemoCopy& demo, const Lines& validation = kValidated,
               const Lines& library = kLibrary) {
  return library + validation + Lines{"Eula Accepted"} + database(demo, true) + kEnvironment +
         kExecutables;
}

std::string report(const DemoCopy& demo) {
  return readFile(demo.debugFile());
}

std::string userName(DemoCopy& demo, const fs::path& database) {
  return demo.sql(database, "select StatusValue from Status where StatusDescription='UserName'");
}

TEST(UnattendedRoads, EarlierInstallAcceptedWithDefaultOptions) {
  DemoCopy demo;
  const RunResult run = demo.unattended("agreement = accept\nname = Ann O'Neill\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string expected = crlf(upgraded(demo) + kEnd);
  EXPECT_EQ(report(demo), expected);
  std::erase(expected, '\r');
  EXPECT_EQ(run.out, expected);  // each line printed as it was written

  // Libraries: the two new ones from the cabinet; the one already there untouched.
  const fs::path payload = sourceDir() / "demo" / "payload" / "PLMLibrary";
  EXPECT_EQ(readFile(demo.system32() / "plmgrid.ocx"), readFile(payload / "plmgrid.ocx"));
  EXPECT_EQ(readFile(demo.system32() / "plmrpt32.dll"), readFile(payload / "plmrpt32.dll"));
  EXPECT_EQ(readFile(demo.system32() / "plmcal32.dll"),
            "Pelmora v.1.9.4 demo library: plmcal32.dll\r\n");
  EXPECT_TRUE(fs::exists(demo.system32() / "msvbvm60.dll"));  // VBRun60 ran

  // Program files, with the program still runnable; no help; the temp folder gone.
  EXPECT_EQ(filesBelow(demo.appFolder()),
            (Lines{"Dorvane.mdb", "DorvaneBKUP.mdb", "EULA.txt", "PMUninstall.exe", "Pelmora.exe",
                   "books05.ico", "goaltarget.ico", "pmlra2.ico"}));
  EXPECT_FALSE(fs::exists(demo.setup / "PMUpTemp"));
  const RunResult pelmora = shell("PMSETUP_MACHINE=" + shq(demo.machine) + " " +
                                  shq(demo.appFolder() / "Pelmora.exe") + " --no-window");
  EXPECT_EQ(pelmora.out, "Pelmora v.1.9.5 is registered to Ann O'Neill.\n") << pelmora.err;

  // The earlier database is the backup; the new one holds one name row.
  EXPECT_EQ(userName(demo, demo.appFolder() / "DorvaneBKUP.mdb"), "Demo User\n");
  EXPECT_EQ(demo.sql(demo.appFolder() / "DorvaneBKUP.mdb", "select CompanyName from Company"),
            "Korrimel Demo Bakery\n");
  EXPECT_EQ(demo.sql(demo.appFolder() / "Dorvane.mdb",
                     "select count(*), max(StatusValue), max(length(StatusDate)) > 0 from Status "
                     "where StatusDescription='UserName'"),
            "1|Ann O'Neill|1\n");

  // Registry entries.
  const std::string hkcu = readFile(demo.machine / "registry" / "HKEY_CURRENT_USER.reg");
  for (const char* entry :
       {"\"AppPath\"=\"C:\\\\Program Files\\\\Pelmora\"", "\"DisplayName\"=\"Pelmora 1.9.5\"",
        "\"UninstallString\"=\"\\\"C:\\\\Program Files\\\\Pelmora\\\\PMUninstall.exe\\\"\"",
        "\"DBQ\"=\"C:\\\\Program Files\\\\Pelmora\\\\Dorvane.mdb\"",
        "\"Dorvane\"=\"Microsoft Access Driver (*.mdb)\"", "\"UserCommitSync\"=\"Yes\""}) {
    EXPECT_NE(hkcu.find(entry), std::string::npos) << entry;
  }
  const std::string hkcr = readFile(demo.machine / "registry" / "HKEY_CLASSES_ROOT.reg");
  for (const char* entry : {"[HKEY_CLASSES_ROOT\\.pmh]\r\n@=\"pmhTemplate\"",
                            "[HKEY_CLASSES_ROOT\\.pmd]\r\n@=\"pmdDictionary\"",
                            "[HKEY_CLASSES_ROOT\\.pmg]\r\n@=\"pmGoals\"",
                            "@=\"C:\\\\Program Files\\\\Pelmora\\\\goaltarget.ico,0\""}) {
    EXPECT_NE(hkcr.find(entry), std::string::npos) << entry;
  }

  // The program group: three items with the command lines sent.
  EXPECT_EQ(filesBelow(demo.group()),
            (Lines{"EULA.desktop", "PMUninstall.desktop", "Pelmora v.1.9.5.desktop"}));
  EXPECT_NE(readFile(demo.group() / "Pelmora v.1.9.5.desktop")
                .find("X-PMSetup-CommandLine=C:\\\\Program Files\\\\Pelmora\\\\Pelmora.exe\\s"),
            std::string::npos);
}

TEST(UnattendedRoads, FullInstallAddsTheListedHelpFilesOnly) {
  DemoCopy demo;
  ASSERT_EQ(demo.unattended("agreement = accept\nfull = yes\n").exitCode, 0);
  EXPECT_EQ(report(demo), crlf(upgraded(demo) + kHelp + kEnd));
  // The listed pages, the quoted one under its plain name; never the unlisted page.
  EXPECT_EQ(filesBelow(demo.appFolder() / "PMHelp"),
            (Lines{"PMHelpContent/dictionaries.htm", "PMHelpContent/getting-started.htm",
                   "PMHelpContent/goals.htm", "PMHelpContent/welcome.htm", "content.pmh"}));
  // No name was answered: the blank database had none, so the row is empty.
  EXPECT_EQ(demo.sql(demo.appFolder() / "Dorvane.mdb",
                     "select count(*), coalesce(max(StatusValue), 'null') from Status "
                     "where StatusDescription='UserName'"),
            "1|\n");
}

TEST(UnattendedRoads, RegisteredFolderWithoutTheProgramGetsTheHelpAnyway) {
  DemoCopy demo;
  fs::remove(demo.appFolder() / "Pelmora.exe");
  ASSERT_EQ(demo.unattended("agreement = accept\n").exitCode, 0);
  const Lines validation = {"Previous Install at : C:\\Program Files\\Pelmora",
                            "Executable not found - aborting upgrade."};
  EXPECT_EQ(report(demo), crlf(upgraded(demo, validation) + kHelp + kEnd));
}

TEST(UnattendedRoads, NoEarlierInstallationAsksForAFolderAndStartsABlankDatabase) {
  DemoCopy demo;
  fs::remove_all(demo.appFolder());
  fs::remove(demo.machine / "registry" / "HKEY_CURRENT_USER.reg");
  ASSERT_EQ(demo.unattended("agreement = accept\nfolder = C:\\Pelmora\nname = Ann Lee\n").exitCode,
            0);
  Lines environment = kEnvironment;
  environment.insert(environment.begin() + 1, "Inconsistent new path value.");
  EXPECT_EQ(report(demo),
            crlf(kLibrary +
                 Lines{"Folder not found, newly created.",
                       "--- Previous install validation complete.", "", "Eula Accepted"} +
                 database(demo, false) + environment + kExecutables + kEnd));
  const fs::path app = demo.machine / "drive_c" / "Pelmora";
  EXPECT_FALSE(fs::exists(app / "DorvaneBKUP.mdb"));
  EXPECT_EQ(userName(demo, app / "Dorvane.mdb"), "Ann Lee\n");
  EXPECT_NE(readFile(demo.machine / "registry" / "HKEY_CURRENT_USER.reg")
                .find("\"AppPath\"=\"C:\\\\Pelmora\""),
            std::string::npos);
}

TEST(UnattendedRoads, HelpCabinetWithoutItsListInstallsNoHelpAndSaysSo) {
  DemoCopy demo;
  demo.remakeCabinet("PLMHelp.CAB", sourceDir() / "demo" / "payload" / "PLMHelp",
                     {"content.pmh", "welcome.htm", "getting-started.htm", "draft-notes.htm"});
  // The help the user asked for is missing: a failure.
  EXPECT_EQ(demo.unattended("agreement = accept\nhelp = yes\n").exitCode, 3);
  EXPECT_EQ(report(demo), crlf(upgraded(demo) + Lines(kHelp.begin(), kHelp.begin() + 2) +
                               Lines{"Help index not found, aborting help install"} + kEnd));
  EXPECT_TRUE(filesBelow(demo.appFolder() / "PMHelp").empty());
}

// Declined, only the library stage and the validation run; twice, since
// "Valid Dates" replaces a library only by a newer one.
TEST(UnattendedRoads, DeclinedRunsChangeNothingButNewerLibraries) {
  DemoCopy demo;
  const auto before = filesBelow(demo.appFolder());
  const std::string oldDatabase = readFile(demo.appFolder() / "Dorvane.mdb");
  const std::string answers = "agreement = decline\nvalid-dates = yes\nhelp = yes\n";
  ASSERT_EQ(demo.unattended(answers).exitCode, 2);
  Lines library = kLibrary;
  library[5] = "Extracted, registered plmcal32.dll & upgraded..  File exists";
  EXPECT_EQ(report(demo), crlf(library + kValidated + kEnd));
  EXPECT_EQ(filesBelow(demo.appFolder()), before);
  EXPECT_EQ(readFile(demo.appFolder() / "Dorvane.mdb"), oldDatabase);
  EXPECT_FALSE(fs::exists(demo.group()));
  // regsvr32 may have recorded the libraries; no document type is registered.
  EXPECT_EQ(readFile(demo.machine / "registry" / "HKEY_CLASSES_ROOT.reg").find(".pmh"),
            std::string::npos);
  // The member's time came through the cabinet and the copy.
  const fs::path installed = demo.system32() / "plmcal32.dll";
  EXPECT_EQ(readFile(installed),
            readFile(sourceDir() / "demo" / "payload" / "PLMLibrary" / "plmcal32.dll"));
  EXPECT_EQ(shell("date -r " + shq(installed) + " '+%F %T'").out, "2026-03-14 09:26:52\n");

  // Again on the same machine: the installed library is as new as the member.
  ASSERT_EQ(demo.unattended(answers).exitCode, 2);
  library = {"Library File Check",
             "Installing Scripting RunTime",
             "Temporary directory created.",
             "Copied Extraction files.",
             "Extracted, registered plmcal32.dll.  File exists",
             "Extracted, registered plmgrid.ocx.  File exists",
             "Extracted, registered plmrpt32.dll.  File exists",
             "Library Files Installed."};
  EXPECT_EQ(report(demo), crlf(library + kValidated + kEnd));
}

TEST(UnattendedRoads, AnAnsiAnswerFileStoresTheNameAsWrittenAndEveryRunIsLogged) {
  DemoCopy demo;
  const fs::path log = demo.root / "run.log";
  // A bad answer file stops the run before the install: its message is logged.
  RunResult run = demo.unattended("agreement = maybe\n", "/log=" + shq(log));
  ASSERT_EQ(run.exitCode, 64) << run.err;
  std::string logged = readFile(log);
  EXPECT_NE(logged.find("Z  PMSetupUnattended: "), std::string::npos) << logged;
  EXPECT_TRUE(logged.ends_with("  Exit code: 64\n")) << logged;

  // Saved as ANSI (Windows-1252): stored as UTF-8, never with U+FFFD.
  run = demo.unattended(
      "agreement = accept\r\nname = Ren\xE9"
      "e M\xFCller\r\n",
      "/log=" + shq(log));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(userName(demo, demo.appFolder() / "Dorvane.mdb"),
            "Ren\xC3\xA9"
            "e M\xC3\xBCller\n");
  logged = readFile(log);
  EXPECT_NE(logged.find("Z  Install Complete.\n"), std::string::npos) << logged;
  EXPECT_NE(logged.find("  Outcome: completed\n"), std::string::npos) << logged;
  EXPECT_TRUE(logged.ends_with("  Exit code: 0\n")) << logged;
}

TEST(UnattendedRoads, ALockedDatabaseFailsTheStageAndLosesNothing) {
  DemoCopy demo;
  const std::string oldDatabase = readFile(demo.appFolder() / "Dorvane.mdb");
  fs::permissions(demo.appFolder() / "Dorvane.mdb",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);  // read-only, as Windows sees it
  EXPECT_EQ(demo.unattended("agreement = accept\nname = Ann\n").exitCode, 3);
  EXPECT_EQ(report(demo).find("--- Database Install Complete"), std::string::npos);
  EXPECT_NE(report(demo).find("Install Complete.\r\n"), std::string::npos);
  // The earlier data is still there, in the database and in its backup.
  EXPECT_EQ(readFile(demo.appFolder() / "Dorvane.mdb"), oldDatabase);
  EXPECT_EQ(readFile(demo.appFolder() / "DorvaneBKUP.mdb"), oldDatabase);
}

// Every stage that installs files meets lists and files it cannot fully serve:
// each such file gets a line saying why, and the rest is installed.
TEST(UnattendedRoads, HostileListsAndFilesInTheWayAreNamedAndTheRestIsInstalled) {
  DemoCopy demo;
  const fs::path lib = demo.root / "PLMLibrary", app = demo.appFolder();
  fs::create_directories(lib);
  writeFile(lib / "library.txt", crlf({"plmcal32.dll", "\"spaced lib.dll\"", "missing.dll",
                                       "..\\escape.dll", "lost.dll", "locked.dll"}));
  fs::copy_file(sourceDir() / "demo" / "payload" / "PLMLibrary" / "plmcal32.dll",
                lib / "plmcal32.dll");
  writeFile(lib / "spaced lib.dll", "spaced");
  writeFile(lib / "locked.dll", "new");
  demo.remakeCabinet("PLMLibrary.CAB", lib,
                     {"library.txt", "plmcal32.dll", "spaced lib.dll", "locked.dll"});
  // Installed files: a library the cabinet lacks, an older read-only library and
  // program file, a program file newer than the cabinet's, a file where the help goes.
  writeFile(demo.system32() / "lost.dll", "mine");
  writeFile(demo.system32() / "locked.dll", "mine");
  const std::string earlierProgram = readFile(app / "Pelmora.exe");
  ASSERT_EQ(shell("touch -d 2019-01-01 " + shq(demo.system32() / "locked.dll") +
                  " && touch -d 2030-01-01 " + shq(app / "Pelmora.exe"))
                .exitCode,
            0);
  for (const fs::path& locked : {demo.system32() / "locked.dll", app / "EULA.txt"})
    fs::permissions(locked, fs::perms::owner_write, fs::perm_options::remove);
  const auto eulaTime = fs::last_write_time(app / "EULA.txt");
  writeFile(app / "PMHelp", "a file where the help folder goes");
  // An earlier run's temporary folder, left behind.
  fs::create_directories(demo.setup / "PMUpTemp");
  writeFile(demo.setup / "PMUpTemp" / "stale.txt", "left by an earlier run");

  EXPECT_EQ(demo.unattended("agreement = accept\nvalid-dates = yes\nhelp = yes\n").exitCode, 3);
  const std::string pf = "C:\\Program Files\\Pelmora\\", help = pf + "PMHelp\\";
  const auto notCopied = [&](const std::string& name, const std::string& to, const char* why) {
    return "Could not install " + name + ": Cannot copy \"" + demo.tempFolderName() + "\\" + name +
           "\" to \"" + to + name + "\": " + why;
  };
  const auto noFolder = [](const std::string& folder, const char* why) {
    return "Could not create the folder " + folder + ": Cannot create folder \"" + folder +
           "\": " + why;
  };
  const Lines library = {
      "Library File Check",
      "Installing VBRuntime",
      "Installing Scripting RunTime",
      "Previous Temporary Install directory found.",
      "Temporary directory created.",
      "Copied Extraction files.",
      "Extracted, registered plmcal32.dll & upgraded..  File exists",
      "Extracted, registered spaced lib.dll. New file install.",
      "Could not install missing.dll: not found in PLMLibrary.CAB",
      "Could not install ..\\escape.dll: not a plain file name",
      "lost.dll not found in PLMLibrary.CAB, installed file kept.",
      notCopied("locked.dll", "C:\\windows\\system32\\", "the target is read-only"),
      "Library Files Installed."};
  Lines expected = upgraded(demo, kValidated, library);
  *std::find(expected.begin(), expected.end(), "Extracting and Installing EULA.txt") =
      notCopied("EULA.txt", pf, "the target is read-only");
  expected =
      expected + Lines{noFolder(pf + "PMHelp", "it exists already"),
                       noFolder(help + "PMHelpContent", "Not a directory"), kHelp[0], kHelp[1],
                       notCopied("content.pmh", help, "the target folder does not exist")};
  for (const char* page : {"welcome.htm", "getting-started.htm", "goals.htm", "dictionaries.htm"})
    expected.push_back(
        notCopied(page, help + "PMHelpContent\\", "the target folder does not exist"));
  EXPECT_EQ(report(demo), crlf(expected + kEnd));

  EXPECT_EQ(readFile(demo.system32() / "spaced lib.dll"), "spaced");
  for (const char* kept : {"lost.dll", "locked.dll"})
    EXPECT_EQ(readFile(demo.system32() / kept), "mine") << kept;
  // regsvr32 was handed the quoted name and found the library.
  EXPECT_NE(
      readFile(demo.machine / "registry" / "HKEY_CLASSES_ROOT.reg")
          .find("[HKEY_CLASSES_ROOT\\PMSetup\\Registered\\spaced lib.dll]\r\n@=\"C:\\\\windows"),
      std::string::npos);
  // Program files replace even a newer one; a read-only one stays as it was.
  EXPECT_NE(readFile(app / "Pelmora.exe"), earlierProgram);
  EXPECT_EQ(fs::last_write_time(app / "EULA.txt"), eulaTime);
  EXPECT_EQ(readFile(app / "PMHelp"), "a file where the help folder goes");
}

}  // namespace
}  // namespace pm::e2e
