// The log beside a registry store file (<file>.log): the changes made since the
// store file was last written, one line each, appended and flushed by every
// write, so that a write costs the same on a store of any size.
//
//   PMSetup registry log 1
//   9f0c1d2e set "Software\ODBC\ODBC.INI\Dorvane" "DriverId" dword:00000019
//   0b1a2c3d set "Software\Korrimel Software\Pelmora" "AppPath" "C:\\Program Files\\Pelmora"
//   77e1f0a4 key "Software\ODBC\ODBC.INI\ODBC Data Sources"
//
// Each line starts with the CRC-32 of the rest of the line, in hex; texts are
// quoted as in the store file ("\" and """ escaped). A line that is not whole
// (no line end), whose checksum does not match or that cannot be read ends the
// log: what follows it is ignored (a write cut short by a crash).

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/posix/registryHive.h"
#include "platform/registry.h"

namespace pm::posix {

struct RegistryChange {
  enum class Kind { CreateKey, SetValue };
  Kind kind = Kind::CreateKey;
  std::string keyPath;
  std::string valueName;  // SetValue only
  RegValue value;         // SetValue only

  // True when it changed anything.
  bool applyTo(RegistryHive& hive) const;
};

namespace registryLog {

// The first line of every log.
inline constexpr std::string_view kHeader = "PMSetup registry log 1\n";

// The change as one line of the log, line end included.
std::string record(const RegistryChange& change);

// Reads the lines of `records` (the log after its header) up to the first one
// that is not whole and intact, handing each change to `apply`; returns the
// number of bytes read.
std::size_t replay(std::string_view records,
                   const std::function<void(const RegistryChange&)>& apply);

std::uint32_t crc32(std::string_view bytes);

}  // namespace registryLog
}  // namespace pm::posix
