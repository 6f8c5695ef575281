// PMPack: builds a complete, sealed installer folder from a release
// description (release.h) — the three cabinets made by our Cabarc, each with
// its list file, Eula.txt, the programs and tools of the chosen platform, and
// the seal PMSetup.sha256 that the installer checks before it changes anything.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/result.h"
#include "tools/pmpack/release.h"

namespace pm::pmpack {

struct Options {
  std::filesystem::path description;
  std::filesystem::path output;
  bool windows = false;            // ship the Windows programs
  std::filesystem::path programs;  // where the shipped programs are
  std::filesystem::path cabarc;    // the cabinet tool that makes the cabinets
  bool replace = false;            // an existing output folder may be replaced
};

// The programs an installer folder of the platform ships.
const std::vector<std::string>& shippedPrograms(bool windows);

// Builds the folder. The folder is made under a temporary name beside the
// output and renamed when complete, so a failure leaves nothing half made.
// Member times come from the files, or all from SOURCE_DATE_EPOCH when it is
// set; the same description and files give the same bytes. One progress line
// per cabinet goes to `progress`.
Status buildInstallerFolder(const Release& release, const Options& options, std::ostream& progress);

// The whole program: command line, description, checks, build. Returns the
// exit code (0 built, 1 the release has errors, 64 a bad command line).
int runPmpack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pm::pmpack
