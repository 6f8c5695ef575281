#include "platform/win32/services.h"

#include <windows.h>

#include "platform/win32/wideText.h"
#include "platform/win32/win32FileSystem.h"

namespace pm {

namespace win32 {

std::unique_ptr<DataSession> Win32Services::openDatabaseFile(const std::string& file,
                                                             const std::string& connectionString) {
  if (file.empty()) return connectOdbc32(connectionString);
  try {
    return connectOdbc32("Driver={" + std::string(kAccessDriverName) + "};DBQ=" + file + ";");
  } catch (const Error&) {
    // Under Wine no Access driver is there: the data source's own (host)
    // driver, told the file by the host's name, which it takes over its own.
    const std::string host = wineHostPath(file);
    if (host.empty()) throw;
    return connectOdbc32(connectionString + "Database=" + host + ";");
  }
}

}  // namespace win32

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<win32::Win32Services>();
}

}  // namespace pm
