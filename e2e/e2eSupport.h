// What the end-to-end tests share: a demo installer folder and machine folder
// assembled once by demo/assemble (real cabinets made by Cabarc N) and copied
// afresh for every test, runs of the real executables on them, and readers for
// what a run leaves on the machine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pm::e2e {

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// Runs a shell command line; stdout and stderr are captured.
RunResult shell(const std::string& command);
// A path or text quoted for the shell.
std::string shq(const fs::path& path);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& content);
// The Windows name of a host path: "Z:\tmp\x".
std::string windowsName(const fs::path& hostPath);
// Lines joined with CR LF after each, as the report is written.
std::string crlf(const std::vector<std::string>& lines);
// The relative paths of every file below a folder, sorted.
std::vector<std::string> filesBelow(const fs::path& folder);

// Where the built executables are (PM_BUILD_BIN) and the sources (PM_SOURCE_DIR).
fs::path buildBin();
fs::path sourceDir();

// One fresh copy of the assembled demo.
class DemoCopy {
 public:
  DemoCopy();
  ~DemoCopy();
  DemoCopy(const DemoCopy&) = delete;
  DemoCopy& operator=(const DemoCopy&) = delete;

  fs::path root;
  fs::path setup;    // the installer folder
  fs::path machine;  // the machine folder
  fs::path appFolder() const { return machine / "drive_c" / "Program Files" / "Pelmora"; }
  fs::path system32() const { return machine / "drive_c" / "windows" / "system32"; }
  fs::path group() const {
    return machine / "drive_c" / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" /
           "Programs" / "Pelmora";
  }
  fs::path debugFile() const { return setup / "PMInstall.dbg"; }
  std::string tempFolderName() const { return windowsName(setup) + "\\PMUpTemp"; }

  // Runs PMSetupUnattended --no-pacing with these answers (written to a file
  // beside the installer folder) on this machine.
  RunResult unattended(const std::string& answers, const std::string& extraArguments = "");
  // sqlite3 on a database file of the machine: the rows, "|" between columns.
  std::string sql(const fs::path& database, const std::string& query);
  // Replaces a cabinet of the installer folder by one made with Cabarc N from
  // the files of `folder` (named in that order), and removes the seal.
  void remakeCabinet(const std::string& cabinet, const fs::path& folder,
                     const std::vector<std::string>& members);
};

}  // namespace pm::e2e
