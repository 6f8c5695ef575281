#include "packages/libraryCheck.h"

#include "packages/stageRig_test.h"

namespace pm::testing {
namespace {

using Lines = std::vector<std::string>;
const std::string sys = "C:\\windows\\system32\\";
const DateTime older = DateTime::fromCivil(2019, 3, 4, 8, 0, 0);
const DateTime newer = DateTime::fromCivil(2021, 3, 4, 8, 0, 0);

class LibraryStage : public StageRig {
 protected:
  void SetUp() override { put(sys + "msvbvm60.dll", {"vb"}); }
};

TEST_F(LibraryStage, InstallsMissingLibrariesAndLeavesPresentOnesAlone) {
  cabinet("PLMLibrary.CAB",
          {{"library.txt",
            {"present.dll\r\n\"spaced lib.dll\"\r\ntool.exe\r\nTOOL2.EXE\r\nmissing.dll\r\n"
             "..\\escape.dll\r\n\r\n"}},
           {"present.dll", {"cabinet", newer}},
           {"spaced lib.dll", {"spaced"}},
           {"tool.exe", {"t"}},
           {"TOOL2.EXE", {"t2"}}});
  cabinet("Pelmora.CAB", {{"Pelmora.exe", {"exe"}}});
  put(sys + "present.dll", {"mine", older});
  put(temp + "\\stale.txt", {"left by an earlier run"});

  libraryCheck(frm);

  EXPECT_EQ(frm.lines,
            (Lines{"Library File Check", "Installing Scripting RunTime",
                   "Previous Temporary Install directory found.", "Temporary directory created.",
                   "Copied Extraction files.", "present.dll exists.",
                   "Extracted, registered spaced lib.dll. New file install.",
                   "Extracted, registered tool.exe. New file install.",
                   "Extracted, registered TOOL2.EXE. New file install.",
                   "Could not install missing.dll: not found in PLMLibrary.CAB",
                   "Could not install ..\\escape.dll: not a plain file name",
                   "Library Files Installed."}));
  // 30 tenths before tool.exe is looked up; none for TOOL2.EXE.
  EXPECT_EQ(frm.pauses, (std::vector<std::int16_t>{5, 5, 5, 5, 5, 5, 5, 30, 5, 5, 5, 5, 5}));
  EXPECT_EQ(text(sys + "present.dll"), "mine");
  EXPECT_FALSE(fs.fileExists(temp + "\\stale.txt"));
  // The tool gets the line as read; paths and registration use the name.
  EXPECT_TRUE(
      ran("Cabarc -o X \"C:\\setup\\PMUpTemp\\PLMLibrary.CAB\" \"spaced lib.dll\" "
          "\"C:\\setup\\PMUpTemp\"\\"));
  // Registered after the copy, so regsvr32 finds it in the system folder; the
  // name is quoted because of its blank.
  EXPECT_TRUE(ran("regsvr32 /s \"spaced lib.dll\""));
  EXPECT_FALSE(ran("regsvr32 /s present.dll"));
  EXPECT_EQ(fs.workingFolder(), "C:\\setup");
}

TEST_F(LibraryStage, ValidDatesReplaceOnlyStrictlyNewerLibrariesAndNeverWithNothing) {
  frm.validDates = true;
  cabinet("PLMLibrary.CAB",
          {{"library.txt", {"same.dll\nnewer.dll\nold.dll\nlost.dll\nlocked.dll"}},
           {"same.dll", {"cab", older}},
           {"newer.dll", {"cab", newer}},
           {"old.dll", {"cab", older}},
           {"locked.dll", {"cab", newer}}});
  for (const char* name : {"same.dll", "newer.dll", "lost.dll", "locked.dll"})
    put(sys + name, {"mine", older});
  put(sys + "old.dll", {"mine", newer});
  stdfs::permissions(host(sys + "locked.dll"), stdfs::perms::owner_write,
                     stdfs::perm_options::remove);

  libraryCheck(frm);

  const Lines tail(frm.lines.end() - 6, frm.lines.end());
  EXPECT_EQ(tail[0], "Extracted, registered same.dll.  File exists");
  EXPECT_EQ(tail[1], "Extracted, registered newer.dll & upgraded..  File exists");
  EXPECT_EQ(tail[2], "Extracted, registered old.dll.  File exists");
  EXPECT_EQ(tail[3], "lost.dll not found in PLMLibrary.CAB, installed file kept.");
  EXPECT_EQ(tail[4].rfind("Could not install locked.dll: ", 0), 0u) << tail[4];
  for (const char* name : {"same.dll", "old.dll", "lost.dll", "locked.dll"}) {
    EXPECT_EQ(text(sys + name), "mine") << name;
    EXPECT_FALSE(ran(std::string("regsvr32 /s ") + name)) << name;
  }
  EXPECT_EQ(text(sys + "newer.dll"), "cab");
  EXPECT_TRUE(ran("regsvr32 /s newer.dll"));
}

}  // namespace
}  // namespace pm::testing
