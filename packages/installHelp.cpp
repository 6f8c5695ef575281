#include "packages/installHelp.h"

#include "packages/cabinet.h"

namespace pm {

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Makes a help folder when it is missing; a folder that cannot be made is
// reported, and the copies into it then report their own failures.
void ensureFolder(InstallWindow& frm, const std::string& folder) {
  FileSystem& fs = frm.services().fs;
  if (fs.folderExists(folder)) return;
  const Status made = fs.createFolder(folder);
  if (!made)
    frm.reportFailure("installHelp",
                      "Could not create the folder " + folder + ": " + made.message());
}

// Puts one help file named by a line of help.txt into its help folder.
void installHelpFile(InstallWindow& frm, const std::string& line) {
  FileSystem& fs = frm.services().fs;
  const std::string& tempFolder = frm.state().tempFolder;

  const std::optional<std::string> listed = installableName(frm, "installHelp", line, 2);
  if (!listed) return;
  const std::string& name = *listed;

  const std::string asRead = tempFolder + "\\" + line;
  if (fs.fileExists(asRead)) (void)fs.deleteFile(asRead);
  // The contents file opens the help; every topic lives one level further down.
  const std::string subpath =
      equalsIgnoringCase(name, "content.pmh") ? "\\PMHelp\\" : "\\PMHelp\\PMHelpContent\\";
  (void)fs.setWorkingFolder(frm.services().installerFolder);
  if (!fs.fileExists(tempFolder + "\\" + name)) {
    frm.ExecCmd(cabarcCommand('X', tempFolder, kHelpCabinet, line));
  }
  const bool executable = namesExecutable(line);
  if (executable) frm.pause(30);
  frm.doEvents();

  const Status copied =
      installExtracted(fs, tempFolder, name, kHelpCabinet, frm.state().appFolder + subpath + name);
  if (copied) {
    frm.rept("Copying " + line, 2);
  } else {
    frm.reportFailure("installHelp", notInstalledLine(name, copied), 2);
  }
  if (executable) frm.pause(10);
}

}  // namespace

void installHelp(InstallWindow& frm) {
  FileSystem& fs = frm.services().fs;
  InstallState& state = frm.state();
  const std::string& tempFolder = state.tempFolder;

  frm.showCurrent("Help Files");
  state.stepCount = 1;  // the bar starts again for the help files

  ensureFolder(frm, state.appFolder + "\\PMHelp");
  ensureFolder(frm, state.appFolder + "\\PMHelp\\PMHelpContent");
  frm.rept("Help folders creating, extracting files");

  const std::string list = tempFolder + "\\help.txt";
  if (!fs.fileExists(list)) {
    (void)fs.setWorkingFolder(frm.services().installerFolder);
    frm.ExecCmd(cabarcCommand('x', tempFolder, kHelpCabinet, "help.txt"));
  }
  frm.rept("Extracting All Help Files");
  frm.ExecCmd(cabarcCommand('x', tempFolder, kHelpCabinet, "*.*"));

  if (!fs.fileExists(list)) {
    frm.reportFailure("installHelp", "Help index not found, aborting help install");
    return;
  }
  for (const std::string& line : readListFile(fs, list)) installHelpFile(frm, line);
  // lblCurrent keeps showing "Help Files": this is the last stage of the run.
}

}  // namespace pm
