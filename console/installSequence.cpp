// The install sequence: what the "Install" button runs, in order, and the
// clean-up that ends every run.
#include "console/dirCheck.h"
#include "console/frmEULA.h"
#include "console/frmOptions.h"
#include "console/frmUpgradeInstall.h"
#include "database/dbCheck.h"
#include "packages/installCheck.h"
#include "packages/installHelp.h"
#include "packages/libraryCheck.h"
#include "registration/regCheck.h"

namespace pm {

void frmUpgradeInstall::cmdInstall_Click() {
  setText("txtReport", "");
  state_.stepCount = 1;

  libraryCheck(*this);
  const bool validated = dirCheck(*this);

  state_.eulaAccepted = false;
  showAgreement();
  if (state_.eulaAccepted) {
    rept("Eula Accepted");
    const InstallOptions options = askOptions();
    dbCheckStage(*this, options.optSamples);
    regCheck(*this);
    installCheck(*this);
    if (!validated || options.optHelp) installHelp(*this);
  }

  rept("INSTALL COMPLETE");
  setEnabled("cmdClose", true);
  setEnabled("chkLaunch", true);
  setEnabled("cmdInstall", false);
  rept("Deleting temporary data");
  deleteTemporaryFolder();
  state_.tempFolderLock.reset();
  rept("Install Complete.");
  setWidth("shpProgress", kTrackWidth);
  state_.finished = true;
}

// The agreement dialog sets eulaAccepted when "I Agree" is pressed.
void frmUpgradeInstall::showAgreement() {
  frmEULA agreement(services_.fs, services_.installerFolder, state_.eulaAccepted);
  services_.toolkit.showModal(agreement, this);
}

frmUpgradeInstall::InstallOptions frmUpgradeInstall::askOptions() {
  frmOptions dialog;
  services_.toolkit.showModal(dialog, this);
  return InstallOptions{dialog.optHelp, dialog.optSamples};
}

// Deletes the temporary folder's files one by one, then the folder, never
// forcing a read-only file. What cannot be deleted is named in the report, so
// the user knows what was left behind.
void frmUpgradeInstall::deleteTemporaryFolder() {
  const std::string folder = state_.tempFolder;
  if (folder.empty()) return;
  // A link put in the temporary folder's place goes as a link: the files of the
  // folder it points to are not the installer's.
  if (services_.fs.isLink(folder)) {
    if (!services_.fs.deleteFolder(folder, false))
      reportFailure("install", "Could not delete " + folder);
    return;
  }
  // Without a temporary folder of its own there is nothing of the installer's to delete.
  if (!services_.fs.folderExists(folder)) return;
  if (auto files = services_.fs.listFiles(folder)) {
    for (const std::string& name : files.value()) {
      const std::string path = folder + "\\" + name;
      if (!services_.fs.deleteFile(path, false))
        reportFailure("install", "Could not delete " + path);
    }
  }
  if (!services_.fs.deleteFolder(folder, false))
    reportFailure("install", "Could not delete " + folder);
}

}  // namespace pm
