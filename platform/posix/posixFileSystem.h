// The file system of the machine folder: pm::FileSystem with Windows semantics
// over the host's files.
//
// Every Windows path goes through Machine::toHost (so "C:\x" is <machine>/drive_c/x
// and names match without regard to letter case). A file is read-only when its
// owner-write bit is off; a folder likewise. Files are replaced atomically: a copy
// or a write goes to a temporary file in the target folder, is flushed to disk,
// and is then renamed over the target, so a failure never leaves a truncated
// target behind (temporaryFiles.h: names and the clean-up after a killed run).
// The working folder is the process's own (chdir), which outside programs
// inherit. Messages name the operation and the Windows path.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/filesystem.h"
#include "platform/posix/machine.h"

namespace pm::posix {

class PosixFileSystem : public FileSystem {
 public:
  explicit PosixFileSystem(Machine machine) : machine_(std::move(machine)) {}

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
  Status readPieces(const std::string& path,
                    const std::function<bool(std::string_view)>& piece) override;
  Status writeText(const std::string& path, const std::string& content) override;
  std::string fromAnsi(const std::string& bytes) override;
  std::string toAnsi(const std::string& text) override;
  bool isLink(const std::string& path) override;
  bool isReadOnly(const std::string& path) override;
  Status clearReadOnly(const std::string& path) override;
  Result<bool> sameContent(const std::string& a, const std::string& b) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  // Looks at the open descriptors of every process of this user (/proc/*/fd),
  // as fuser does; this process does not count.
  bool inUse(const std::string& path) override;
  bool folderWritable(const std::string& path) override;
  // Under $TMPDIR or /tmp, made by mkdtemp (mode 0700), and noted so that a
  // later run removes it if this one is killed (temporaryFiles.h).
  Result<std::string> createPrivateTempFolder(const std::string& prefix, bool outlivesRun) override;
  Result<std::unique_ptr<FileLock>> lockFile(const std::string& path) override;
  // Always fails: this platform keeps no short names.
  Result<std::string> shortPath(const std::string& path) override;
  // "C:\windows\system32".
  Result<std::string> systemFolder() override;

  const Machine& machine() const { return machine_; }

 private:
  Status fail(const std::string& what, const std::string& path, const std::string& why);
  Machine machine_;
};

// Local civil seconds <-> host time (through the time zone of the process).
DateTime fromHostTime(long long hostSeconds);
long long toHostTime(DateTime time);

}  // namespace pm::posix
