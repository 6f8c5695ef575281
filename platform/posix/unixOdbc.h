// Connections through unixODBC's driver manager (the narrow ODBC API, UTF-8).
#pragma once

#include <memory>
#include <string>

#include "platform/datasources.h"

namespace pm::posix {

// Opens a connection with `connectionString` (no prompt). Raises pm::Error.
std::unique_ptr<DataSession> connectUnixOdbc(const std::string& connectionString);

}  // namespace pm::posix
