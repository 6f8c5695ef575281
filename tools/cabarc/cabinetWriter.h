// Writing Microsoft cabinets through libgcab: one folder, MSZIP or stored.
#pragma once

#include <string>
#include <vector>

#include "platform/result.h"

namespace pm::cabarc {

struct NewMember {
  std::string storedName;  // "\" separated relative name
  std::string hostFile;    // where the bytes come from
};

enum class Compression { None, Mszip };

// Writes the cabinet at `hostCabinet` (absolute host path). Each member keeps its
// file's modification time as local time (2-second resolution); a file that can
// be run is marked executable (MSCAB_ATTRIB_EXEC), and extraction restores that. The cabinet is
// written under a temporary name beside it and renamed when complete, so a
// failure leaves any earlier cabinet of that name as it was.
Status writeCabinet(const std::string& hostCabinet, const std::vector<NewMember>& members,
                    Compression compression);

}  // namespace pm::cabarc
