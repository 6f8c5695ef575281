// The Windows machine that this platform presents on Linux, the way Wine does.
//
// The machine is a folder: $PMSETUP_MACHINE, or $XDG_DATA_HOME/pmsetup/machine
// (~/.local/share/pmsetup/machine). Drive C: is <machine>/drive_c, drive Z: is the
// host's "/", any other drive letter X: is <machine>/drive_x. The registry store
// keeps one file per root key in <machine>/registry.
//
// A Windows path maps to a host path component by component: where the exact
// name does not exist, an existing entry that differs only in letter case is
// taken; a name that does not exist at all is kept as written (for creation).
// "\" and "/" both separate. A host path ("/opt/x") is accepted as it is.
// Relative paths resolve against the process's working folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pm::posix {

class Machine {
 public:
  // The machine of this process's environment; creates its skeleton on first use
  // (drive_c/windows/system32, drive_c/Program Files, drive_c/ProgramData, registry).
  static Machine fromEnvironment();
  // A machine at an explicit folder (tests); creates the skeleton too.
  explicit Machine(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }
  // <machine>/registry/<HKEY_...>.reg
  std::filesystem::path registryFile(std::string_view rootKeyName) const;

  // Windows path (or host path) -> host path.
  std::filesystem::path toHost(std::string_view windowsPath) const;
  // Host path -> Windows path: under drive_c gives "C:\...", anything else "Z:\...".
  std::string toWindows(const std::filesystem::path& hostPath) const;

 private:
  std::filesystem::path root_;
};

// The folder of the running executable (/proc/self/exe), as a host path.
std::filesystem::path executableFolder();

}  // namespace pm::posix
