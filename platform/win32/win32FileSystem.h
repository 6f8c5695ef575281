// The file system on the real drives, through the W functions: Windows paths
// are the system's own, so nothing is mapped. A file that another program holds
// open fails with the system's sharing-violation message. Files are replaced
// atomically: a copy or a write goes to a temporary file beside the target, is
// flushed to disk and is then moved over the target, so a failure never leaves a
// truncated target behind (temporaryFiles.h: names and the clean-up after a
// killed run). A link is any reparse point (a symbolic link or a junction); it
// is removed as itself, never followed.
#pragma once

#include "platform/filesystem.h"

struct _FILETIME;

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
  Status readPieces(const std::string& path,
                    const std::function<bool(std::string_view)>& piece) override;
  Status writeText(const std::string& path, const std::string& content) override;
  std::string fromAnsi(const std::string& bytes) override;
  std::string toAnsi(const std::string& text) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  // FILE_ATTRIBUTE_REPARSE_POINT on the path itself.
  bool isLink(const std::string& path) override;
  bool isReadOnly(const std::string& path) override;
  Status clearReadOnly(const std::string& path) override;
  // Opening the file with no sharing fails with a sharing violation: some
  // handle, of any process, this one included, has it open.
  bool inUse(const std::string& path) override;
  // A file can be made there (it is made, and gone again when closed).
  bool folderWritable(const std::string& path) override;
  Result<bool> sameContent(const std::string& a, const std::string& b) override;
  // Under GetTempPathW, made by CreateDirectoryW with a random name (it fails
  // on a name that exists, so nothing planted is taken) and a security
  // descriptor that lets only this user, the administrators and the system in;
  // noted so that a later run removes it if this one is killed.
  Result<std::string> createPrivateTempFolder(const std::string& prefix, bool outlivesRun) override;
  Result<std::unique_ptr<FileLock>> lockFile(const std::string& path) override;
  Result<std::string> shortPath(const std::string& path) override;
  Result<std::string> systemFolder() override;
};

// A local civil date-time as a FILETIME (UTC, through the machine's time zone);
// false outside the years Windows can hold.
bool fileTimeFromLocal(DateTime local, _FILETIME& out);

// The host's name of a file under Wine ("/home/ann/x.mdb"), from Wine's own
// kernel32; "" on Windows.
std::string wineHostPath(const std::string& file);

// The folder of the running program (GetModuleFileNameW), without a trailing "\".
std::string installerFolder();

}  // namespace pm::win32
