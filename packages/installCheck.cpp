#include "packages/installCheck.h"

#include "packages/cabinet.h"
#include "registration/CreateOSLink.h"

namespace pm {

namespace {

// Puts one program file named by a line of upgrade.txt into the application folder.
void installProgramFile(InstallWindow& frm, const std::string& line) {
  FileSystem& fs = frm.services().fs;
  const std::string& tempFolder = frm.state().tempFolder;

  const std::optional<std::string> listed = installableName(frm, "installCheck", line);
  if (!listed) return;
  const std::string& name = *listed;

  // An unquoted line removes the member that the full extraction unpacked, so
  // that the file installed comes from an extraction of its own.
  const std::string asRead = tempFolder + "\\" + line;
  if (fs.fileExists(asRead)) (void)fs.deleteFile(asRead);
  (void)fs.setWorkingFolder(frm.services().installerFolder);
  if (!fs.fileExists(tempFolder + "\\" + name)) {
    frm.ExecCmd(cabarcCommand('X', tempFolder, kMainCabinet, line));
  }
  const bool executable = namesExecutable(line);
  if (executable) frm.pause(30);
  frm.doEvents();

  // Program files always replace what is there, whatever its date; a file that
  // cannot be replaced stays as it was and the report says why.
  const Status copied =
      installExtracted(fs, tempFolder, name, kMainCabinet, frm.state().appFolder + "\\" + name);
  if (copied) {
    frm.rept("Extracting and Installing " + name);
  } else {
    frm.reportFailure("installCheck", notInstalledLine(name, copied));
  }
  if (executable) frm.pause(10);
}

}  // namespace

void installCheck(InstallWindow& frm) {
  FileSystem& fs = frm.services().fs;
  const std::string& tempFolder = frm.state().tempFolder;

  frm.rept("--- Install Executables");
  frm.showCurrent("Execution Files");

  const std::string list = tempFolder + "\\upgrade.txt";
  if (!fs.fileExists(list)) {
    (void)fs.setWorkingFolder(frm.services().installerFolder);
    frm.ExecCmd(cabarcCommand('x', tempFolder, kMainCabinet, "upgrade.txt"));
  }
  frm.rept("Extracting Files to temporary directory");
  frm.ExecCmd(cabarcCommand('X', tempFolder, kMainCabinet, ""));

  if (fs.fileExists(list)) {
    for (const std::string& line : readListFile(fs, list)) installProgramFile(frm, line);
  }

  frm.rept("Extraction and copy complete");
  frm.rept("Completing extraction check and copy complete");
  frm.rept("Creating Icons");

  const std::string& appFolder = frm.state().appFolder;
  CreateOSLink(frm, "Pelmora", appFolder + "\\Pelmora.exe", "", "Pelmora v.1.9.5", true);
  CreateOSLink(frm, "Pelmora", appFolder + "\\EULA.txt", "", "EULA", true);
  CreateOSLink(frm, "Pelmora", appFolder + "\\PMUninstall.exe", "", "PMUninstall", true);
  frm.hideCurrent();
}

}  // namespace pm
