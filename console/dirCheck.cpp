#include "console/dirCheck.h"

#include <limits>
#include <string>

#include "platform/result.h"

namespace pm {

namespace {

constexpr const char* kProductKey = "Software\\Korrimel Software\\Pelmora";
constexpr const char* kDefaultFolder = "C:\\Program Files\\Pelmora";

// How many folders the user may name that cannot be used before the default
// folder is taken; a dialog that is closed over and over must not hold the
// install forever.
constexpr int kFolderAttempts = 5;

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// A folder the install can be built on names its drive ("C:\..."), a network
// share ("\\server\share") or a host folder ("/home/ann/..."): anything else
// would resolve against whichever folder happens to be current.
bool isFullPath(const std::string& folder) {
  const bool drive =
      folder.size() >= 3 &&
      ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')) &&
      folder[1] == ':' && isSeparator(folder[2]);
  const bool share = folder.size() >= 3 && folder[0] == '\\' && folder[1] == '\\';
  const bool host = !folder.empty() && folder[0] == '/';
  return drive || share || host;
}

bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t") == std::string::npos;
}

// The folder that holds `folder`; empty when it has none.
std::string parentOf(const std::string& folder) {
  const auto at = folder.find_last_of("\\/");
  if (at == std::string::npos || at == 0) return {};
  return folder.substr(0, at);
}

// The application folder is held without a trailing separator, since paths are
// built from it by appending "\" and a name ("C:\" stays as it is).
std::string withoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && isSeparator(folder.back()) &&
         !(folder.size() == 3 && folder[1] == ':')) {
    folder.pop_back();
  }
  return folder;
}

// Makes the folder the user named; an empty result means it is ready, anything
// else says why it cannot be used.
std::string prepareFolder(FileSystem& fs, const std::string& folder) {
  if (isBlank(folder)) return "no folder was given";
  if (!isFullPath(folder)) return "it is not a full path (for example C:\\Program Files\\Pelmora)";
  if (fs.folderExists(folder)) return {};
  if (fs.fileExists(folder)) return "a file of that name is in the way";
  const std::string parent = parentOf(folder);
  if (!parent.empty() && !fs.folderExists(parent)) return "its parent folder does not exist";
  const Status made = fs.createFolder(folder);
  if (!made) return made.message();
  return {};
}

// Makes the folder and every missing folder above it.
Status createFolders(FileSystem& fs, const std::string& folder) {
  if (fs.folderExists(folder)) return {};
  const std::string parent = parentOf(folder);
  if (!parent.empty() && !(parent.size() == 2 && parent[1] == ':')) {
    if (Status made = createFolders(fs, parent); !made) return made;
  }
  return fs.createFolder(folder);
}

// Asks for the application folder until one can be used, and creates it.
// Returns whether the folder now exists.
bool chooseFolder(InstallWindow& frm, std::string& appFolder) {
  FileSystem& fs = frm.services().fs;
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    const std::string answer = frm.askInstallDirectory();
    const std::string folder = withoutTrailingSeparator(answer);
    const std::string refusal = prepareFolder(fs, folder);
    if (refusal.empty()) {
      appFolder = folder;
      return true;
    }
    frm.rept("Install folder not accepted: " + (answer.empty() ? "(empty)" : answer) + " - " +
             refusal + ". Please choose another folder.");
  }
  appFolder = kDefaultFolder;
  frm.rept("No usable install folder was given; using " + appFolder + ".");
  if (const Status made = createFolders(fs, appFolder); !made) {
    frm.reportFailure("dirCheck", "Install folder could not be created: " + made.message());
    return false;
  }
  return true;
}

}  // namespace

bool dirCheck(InstallWindow& frm) {
  InstallState& state = frm.state();
  FileSystem& fs = frm.services().fs;

  // Counted as a step of its own, drawn with the next report line.
  if (state.stepCount < std::numeric_limits<std::int16_t>::max()) ++state.stepCount;

  try {
    frm.registry().ReadStringValue(RootKey::CurrentUser, kProductKey, "AppPath", state.appFolder);
  } catch (const Error& e) {
    // An unreadable registry store says nothing about where Pelmora is; the
    // default folder is looked at as when the value is absent.
    state.appFolder.clear();
    frm.reportFailure("dirCheck",
                      registryFailureLine("read", RootKey::CurrentUser, kProductKey, "AppPath", e));
  }
  if (state.appFolder.empty()) state.appFolder = kDefaultFolder;

  if (fs.folderExists(state.appFolder)) {
    frm.rept("Previous Install at : " + state.appFolder);
    if (!fs.fileExists(state.appFolder + "\\Pelmora.exe")) {
      frm.rept("Executable not found - aborting upgrade.");
      return false;
    }
    frm.rept("Previous Executable found.");
    const std::string database = state.appFolder + "\\Dorvane.mdb";
    if (fs.fileExists(database)) {
      frm.rept("Previous Database found.");
    } else {
      frm.rept("Previous Database NOT found at " + database);
    }
  } else if (chooseFolder(frm, state.appFolder)) {
    frm.rept("Folder not found, newly created.");
  }

  frm.rept("--- Previous install validation complete.\r\n");
  return true;
}

}  // namespace pm
