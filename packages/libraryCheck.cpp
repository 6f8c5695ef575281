#include "packages/libraryCheck.h"

#include "install/basCommon.h"
#include "packages/cabinet.h"

namespace pm {

namespace {

// Runs the registration of a library that is in place. A tool that fails says
// so, with its exit code, and the failure is recorded; the stage goes on.
bool registered(InstallWindow& frm, const std::string& registration, const std::string& rest) {
  const std::int32_t code = frm.ExecCmd(registration);
  if (code == 0) return true;
  const std::string why =
      code == -1 ? "regsvr32 could not be started" : "regsvr32 exit code " + std::to_string(code);
  frm.reportFailure("libraryCheck", "Extracted, not registered (" + why + ") " + rest);
  return false;
}

// Installs or upgrades one library named by a line of library.txt.
void installLibrary(InstallWindow& frm, const std::string& line, const std::string& systemDir) {
  FileSystem& fs = frm.services().fs;
  const std::string& tempFolder = frm.state().tempFolder;

  const std::optional<std::string> listed = installableName(frm, "libraryCheck", line);
  if (!listed) return;
  const std::string& name = *listed;
  if (systemDir.empty()) {
    frm.reportFailure("libraryCheck",
                      notInstalledLine(name, Status::failure("the system folder is unknown")));
    return;
  }

  const std::string extracted = tempFolder + "\\" + name;
  if (fs.fileExists(extracted)) (void)fs.deleteFile(extracted);
  const std::string extract = cabarcCommand('X', tempFolder, kLibraryCabinet, line);
  // Executables get a moment for anything still holding them to let go.
  if (namesExecutable(line)) frm.pause(30);

  DateTime installedDate = DateTime::fromCivil(1990, 1, 1);
  const std::string installed = systemDir + name;
  // A name with a blank is quoted, or the command line would split it in two and
  // regsvr32 would look for two libraries that do not exist.
  const bool blank = name.find(' ') != std::string::npos;
  const std::string registration = "regsvr32 /s " + (blank ? "\"" + name + "\"" : name);

  if (fs.fileExists(installed)) {
    if (auto time = fs.modificationTime(installed)) installedDate = time.value();
    if (!frm.libraryDateOption()) {
      frm.rept(name + " exists.");
      return;
    }
    frm.ExecCmd(extract);
    // A member the archiver did not yield can never replace an installed library.
    if (!fs.fileExists(extracted)) {
      frm.rept(name + " not found in " + kLibraryCabinet + ", installed file kept.");
      return;
    }
    std::string suffix;
    auto extractedDate = fs.modificationTime(extracted);
    if (extractedDate && extractedDate.value() > installedDate) {
      const Status copied = fs.copyFile(extracted, installed, true);
      if (!copied) {
        frm.reportFailure("libraryCheck", notInstalledLine(name, copied));
        return;
      }
      suffix = " & upgraded.";
      if (!registered(frm, registration, name + suffix + "  File exists")) return;
    }
    frm.rept("Extracted, registered " + name + suffix + ".  File exists");
    return;
  }

  frm.ExecCmd(extract);
  const Status copied = installExtracted(fs, tempFolder, name, kLibraryCabinet, installed);
  if (!copied) {
    frm.reportFailure("libraryCheck", notInstalledLine(name, copied));
    return;
  }
  if (registered(frm, registration, name + ". New file install."))
    frm.rept("Extracted, registered " + name + ". New file install.");
}

}  // namespace

void libraryCheck(InstallWindow& frm) {
  FileSystem& fs = frm.services().fs;
  InstallState& state = frm.state();
  const std::string& installerFolder = frm.services().installerFolder;

  frm.rept("Library File Check");
  frm.showCurrent("Executable Libraries");
  state.tempFolder = installerFolder + "\\PMUpTemp";
  (void)fs.setWorkingFolder(installerFolder);

  // An installer folder that cannot be written (a CD, a mounted image, a
  // read-only share) gets its temporary folder in the user's own temporary
  // folder instead, with the debug file beside it; nothing is then written
  // into the installer folder.
  std::string ownFolder;
  if (!fs.folderWritable(installerFolder)) {
    if (auto made = fs.createPrivateTempFolder("PMUpTemp")) {
      ownFolder = made.value();
      state.tempFolder = ownFolder;
      state.reportFolder = ownFolder.substr(0, ownFolder.find_last_of('\\'));
    }
  }

  // The Visual Basic runtime comes as a package of its own; it is only run when
  // its main library is missing.
  const std::string systemDir = GetSystemDir(fs);
  if (!fs.fileExists(systemDir + "msvbvm60.dll")) {
    frm.rept("Installing VBRuntime");
    frm.ExecCmd("VBRun60 /Q /T:\"" + state.tempFolder + "\"");
  }
  frm.rept("Installing Scripting RunTime");
  frm.ExecCmd("regsvr32 /s scrrun.dll");

  // From here on a step that fails is passed over and the next one runs: the
  // checks further down (is the file there now?) show what came of it.
  if (ownFolder.empty()) {
    state.tempFolder = fs.absolutePath(installerFolder + "\\PMUpTemp");
    const std::string& tempFolder = state.tempFolder;
    // Whatever holds the name goes; a link (or a file) as itself, never what
    // it points to.
    if (fs.isLink(tempFolder) || fs.folderExists(tempFolder) || fs.fileExists(tempFolder)) {
      frm.rept("Previous Temporary Install directory found.");
      if (fs.isLink(tempFolder) || fs.folderExists(tempFolder)) {
        (void)fs.deleteFolder(tempFolder, false);
      } else {
        (void)fs.deleteFile(tempFolder, false);
      }
    }
    (void)fs.createFolder(tempFolder);
  } else {
    frm.rept("The installer folder cannot be written: the temporary directory is " + ownFolder +
             " and the debug file goes to " + frm.state().reportFolder + "\\PMInstall.dbg");
  }
  const std::string& tempFolder = state.tempFolder;
  frm.rept("Temporary directory created.");

  for (const char* cabinet : {kMainCabinet, kLibraryCabinet, kHelpCabinet}) {
    const std::string copy = tempFolder + "\\" + cabinet;
    (void)fs.copyFile(installerFolder + "\\" + cabinet, copy, true);
    // A copy from a CD comes read-only; the run's own copy must go at its end.
    if (fs.isReadOnly(copy)) (void)fs.clearReadOnly(copy);
  }
  (void)fs.setWorkingFolder(tempFolder);
  frm.rept("Copied Extraction files.");

  const std::string list = tempFolder + "\\library.txt";
  if (!fs.fileExists(list)) {
    (void)fs.setWorkingFolder(installerFolder);
    frm.ExecCmd(cabarcCommand('x', tempFolder, kLibraryCabinet, "library.txt"));
  }
  if (fs.fileExists(list)) {
    for (const std::string& line : readListFile(fs, list)) installLibrary(frm, line, systemDir);
  }

  frm.rept("Library Files Installed.");
  frm.hideCurrent();
  // Outside programs run from the installer folder, and the temporary folder is
  // deleted at the end of the run: never leave the process standing in it.
  (void)fs.setWorkingFolder(installerFolder);
}

}  // namespace pm
