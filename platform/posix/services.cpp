#include "platform/posix/services.h"

#include "platform/leftoverRecord.h"
#include "platform/posix/unixOdbc.h"

namespace pm {

namespace posix {

void PosixServices::planOnly() {
  leaveRecordAlone();
}

std::unique_ptr<DataSession> PosixServices::openDatabaseFile(const std::string& file,
                                                             const std::string&) {
  // The machine's own data source would need its odbc.ini written first.
  const auto driver = OdbcDataSources::findSqliteDriver();
  if (file.empty() || driver.empty())
    throw driverError("[Driver Manager]Data source not available to a plan", "IM002", 0,
                      "ODBC Driver Manager");
  return connectUnixOdbc("DRIVER=" + driver.string() +
                         ";Database=" + machine.toHost(file).string() + ";NoCreat=1;");
}

}  // namespace posix

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<posix::PosixServices>(posix::Machine::fromEnvironment(),
                                                posix::executableFolder());
}

}  // namespace pm
