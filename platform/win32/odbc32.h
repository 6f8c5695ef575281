// Connections through the system's ODBC driver manager, odbc32.dll, loaded
// from the system folder at run time (never imported).
#pragma once

#include <memory>
#include <string>

#include "platform/datasources.h"

namespace pm::win32 {

// Opens a connection with `connectionString` (no prompt). Raises pm::Error.
std::unique_ptr<DataSession> connectOdbc32(const std::string& connectionString);

}  // namespace pm::win32
