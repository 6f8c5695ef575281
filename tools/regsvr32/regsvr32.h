// regsvr32: records the registration of a library in the machine's registry.
//
//   regsvr32 [/s] [/u] NAME...
//
// A library cannot run code here, so registering one means recording it: the key
// HKEY_CLASSES_ROOT\PMSetup\Registered\<file name> gets the library's full
// Windows path as its default value and "Registered" the date-time of the
// registration ("YYYY-MM-DD hh:mm:ss", local). A bare name is looked for in the
// system folder first, then in the working folder; a name with a folder part is
// taken as it is. A missing library changes nothing and fails the run. /s only
// silences the success message; failures are always written to stderr.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "platform/registry.h"

namespace pm::regsvr32 {

// Exit codes, as Windows' own regsvr32 uses them.
enum ExitCode : int {
  kOk = 0,
  kUsage = 1,         // the command line is not understood
  kNotFound = 3,      // the library cannot be found
  kCannotRecord = 5,  // the registry store cannot be written
};

// The key under HKEY_CLASSES_ROOT that holds a library's registration.
std::string registrationKey(const std::string& fileName);

// The library's path as found (system folder, then working folder), with its
// file name as it is on disk; nothing when it is not there.
std::optional<std::string> findLibrary(FileSystem& fs, const std::string& name);

// Records that the library at `windowsPath` is registered.
Status recordRegistration(RegistryStore& registry, const std::string& windowsPath, DateTime now);

int run(const std::vector<std::string>& args, FileSystem& fs, RegistryStore& registry, DateTime now,
        std::ostream& out, std::ostream& err);

}  // namespace pm::regsvr32
