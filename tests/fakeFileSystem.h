// An in-memory file system with the Windows rules of pm::FileSystem: names match
// without regard to letter case and keep the case they were made with, files
// without write permission are read-only, copies keep the modification time and
// the read-only flag, and there is a working folder. Drives C: and Z: exist
// (empty); "C:\windows\system32", "C:\Program Files" and "C:\ProgramData" are made
// at the start, as on a fresh machine folder. A host path "/x" is "Z:\x".
//
// Files made or written get the modification time `now`. `interceptor`, when
// set, is asked before every change and every read (operation name and Windows
// path) and can make the call fail.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace pm::testing {

class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem();

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
  std::string absolutePath(const std::string& path) override;
  Result<std::string> readText(const std::string& path) override;
  Status writeText(const std::string& path, const std::string& content) override;
  Result<std::string> shortPath(const std::string& path) override;
  Result<std::string> systemFolder() override;
  Status renameFile(const std::string& from, const std::string& to) override;
  bool isLink(const std::string&) override { return false; }  // no links here
  bool isReadOnly(const std::string& path) override;
  Status clearReadOnly(const std::string& path) override;
  bool inUse(const std::string&) override { return false; }  // no other programs here
  bool folderWritable(const std::string& path) override;
  Result<bool> sameContent(const std::string& a, const std::string& b) override;
  // "Z:\tmp\PREFIX-1", "-2"...
  Result<std::string> createPrivateTempFolder(const std::string& prefix) override;

  // ---- for tests ----
  // Makes a file (and its missing folders) with the content; mtime `now` unless given.
  void addFile(const std::string& path, const std::string& content,
               std::optional<DateTime> mtime = std::nullopt);
  // Makes a folder and its missing parents.
  void addFolder(const std::string& path);
  void setReadOnly(const std::string& path, bool readOnly = true);
  // The content of a file, or nothing.
  std::optional<std::string> content(const std::string& path);

  DateTime now = DateTime::fromCivil(2026, 1, 15, 10, 30, 0);
  // Short forms by absolute path (letter case ignored); without one, shortPath fails.
  std::map<std::string, std::string> shortNames;
  // When set, systemFolder() fails (a machine whose system folder cannot be found).
  bool systemFolderFails = false;
  std::function<Status(const std::string& operation, const std::string& path)> interceptor;

 private:
  struct Entry {
    std::string path;  // absolute, as made ("C:\Program Files\Pelmora")
    bool folder = false;
    bool readOnly = false;
    std::string content;
    DateTime mtime;
  };
  Entry* find(const std::string& path);
  // The absolute path, with the case of every existing component taken over.
  std::string resolve(const std::string& path);
  std::vector<std::string> childrenOf(const std::string& key);
  Status check(const std::string& operation, const std::string& path);
  Status fail(const std::string& what, const std::string& path, const std::string& why);

  std::map<std::string, Entry> entries_;  // by lower-case absolute path
  std::string workingFolder_ = "C:\\";
  int privateFolders_ = 0;
};

}  // namespace pm::testing
