// The file system on the real drives, through the W functions: Windows paths
// are the system's own, so nothing is mapped. A file that another program holds
// open fails with the system's sharing-violation message.
#pragma once

#include "platform/filesystem.h"

namespace pm::win32 {

class Win32FileSystem : public FileSystem {
 public:
  bool folderExists(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  Status createFolder(const std::string& path) override;
  Status deleteFolder(const std::string& path, bool force = false) override;
  Status copyFile(const std::string& source, const std::string& target,
                  bool overwrite = true) override;
  Status deleteFile(const std::string& path, bool force = false) override;
  Result<DateTime> modificationTime(const std::string& path) override;
  Status setModificationTime(const std::string& path, DateTime time) override;
  Result<std::vector<std::string>> listFiles(const std::string& folder) override;
  Status setWorkingFolder(const std::string& path) override;
  std::string workingFolder() override;
  // GetFullPathNameW, with the drive letter in upper case and no trailing "\"
  // except after a bare drive.
  std::string absolutePath(const std::string& path) override;
  Result<std::string> readText(const std::string& path) override;
  Status writeText(const std::string& path, const std::string& content) override;
  Result<std::string> shortPath(const std::string& path) override;
  Result<std::string> systemFolder() override;
};

// The folder of the running program (GetModuleFileNameW), without a trailing "\".
std::string installerFolder();

}  // namespace pm::win32
