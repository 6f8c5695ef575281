// The Windows platform services, built together: what a composition root
// hands to the install window. The machine is the machine: no machine folder,
// no odbc.ini to derive (the driver manager reads the data sources that the
// install registers in the registry), no Program Manager of our own (where
// none answers, the group is made with shell links: shellLinkGroups.h).
//
//   pm::win32::restrictDllSearch();   // first thing in main()
//   pm::win32::Win32Services platform;   // or pm::makePlatform()
#pragma once

#include <string>

#include "platform/datasources.h"
#include "platform/leftoverRecord.h"
#include "platform/services.h"
#include "platform/win32/ddemlClient.h"
#include "platform/win32/odbc32.h"
#include "platform/win32/shellLinkGroups.h"
#include "platform/win32/systemLibrary.h"
#include "platform/win32/win32Clock.h"
#include "platform/win32/win32FileSystem.h"
#include "platform/win32/win32InstallLock.h"
#include "platform/win32/win32ProcessRunner.h"
#include "platform/win32/win32RegistryStore.h"

namespace pm::win32 {

// The driver manager finds the data sources in the registry itself.
class RegistryDataSources : public DataSources {
 public:
  Status prepare() override { return {}; }
  std::unique_ptr<DataSession> connect(const std::string& connectionString) override {
    return connectOdbc32(connectionString);
  }
};

struct Win32Services : Platform {
  Win32Services() : installerFolder(win32::installerFolder()), processes(installerFolder) {}
  Win32Services(const Win32Services&) = delete;
  Win32Services& operator=(const Win32Services&) = delete;

  MachineServices services() override {
    return {fs, clock, processes, registry, dataSources, dde, installerFolder};
  }
  InstallLock& installLock() override { return lock; }
  void planOnly() override { leaveRecordAlone(); }
  // The Access driver on the file; with no file, the data source as registered.
  std::unique_ptr<DataSession> openDatabaseFile(const std::string& file,
                                                const std::string& connectionString) override;

  // The installer folder (the running program's), without a trailing separator.
  std::string installerFolder;
  Win32FileSystem fs;
  Win32Clock clock;
  Win32ProcessRunner processes;
  Win32RegistryStore registry;
  RegistryDataSources dataSources;
  DdemlSystem programManager;
  // The Program Manager when it answers, else the shell's link objects.
  ShellLinkDde dde{programManager};
  Win32InstallLock lock;  // taken by the front end before anything changes
};

}  // namespace pm::win32
