// VBRun60: places the Visual Basic 6 runtime libraries into the system folder.
//
//   VBRun60 [/Q[:mode]] [/T:folder] [/R:mode]
//
// The libraries are stand-ins of our own making: small text files that say what
// they stand for, dated 22 February 2004 12:00:00 (local) so that any real
// library of a later date counts as newer. They are written into a scratch
// folder "~VBRun60" inside the /T folder (C:\windows\Temp without /T), copied
// from there into the system folder and the scratch folder is removed again,
// with the /T folder itself when this run had to make it. A library already in
// the system folder is never replaced. Each self-registering library that is
// placed is recorded as registered, as regsvr32 records it. /Q silences the
// progress lines; /R (restart) is accepted and ignored, no restart is needed.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "platform/registry.h"

namespace pm::vbrun60 {

enum ExitCode : int {
  kOk = 0,
  kUsage = 1,         // the command line is not understood
  kNoScratch = 2,     // the scratch folder cannot be made; nothing was placed
  kNotPlaced = 3,     // a library could not be placed in the system folder
  kCannotRecord = 4,  // a registration could not be recorded
};

struct RuntimeFile {
  std::string name;
  std::string role;
  bool selfRegistering = false;
};

// msvbvm60.dll and its companions, including the scripting runtime scrrun.dll
// that every install registers.
const std::vector<RuntimeFile>& runtimeFiles();
// What a stand-in file holds.
std::string standInContent(const RuntimeFile& file);
// The date every stand-in carries.
DateTime runtimeDate();

int run(const std::vector<std::string>& args, FileSystem& fs, RegistryStore& registry, DateTime now,
        std::ostream& out, std::ostream& err);

}  // namespace pm::vbrun60
