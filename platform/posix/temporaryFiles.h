// The temporary files and folders that this platform makes, and the clean-up of
// what a killed process left of them.
//
// A file is written under a temporary name beside its target,
// ".<target name>.pmtmp-XXXXXX" (made exclusively by mkostemp, so a name planted
// there is never written through), flushed, and renamed over the target. A
// process killed meanwhile leaves the temporary file. So that a later run can
// find it, every folder that receives one is first noted in the machine's list
// of leftover places, "<machine>/PMSetup.leftovers" (one "F <host folder>" line
// per folder and process), as is every temporary folder wholly of our own
// ("D <host folder>"). sweepLeftovers removes what those places still hold of
// ours; the install lock (posixInstallLock.h) calls it when it is taken, so no
// running process can still be writing there.
#pragma once

#include <filesystem>
#include <string>

#include "platform/posix/machine.h"
#include "platform/result.h"

namespace pm::posix {

// True for the names that TemporaryFile gives (".x.pmtmp-AbC123").
bool isTemporaryFileName(const std::string& name);

// A new file beside `target`, removed again unless it was committed.
class TemporaryFile {
 public:
  TemporaryFile(const Machine& machine, const std::filesystem::path& target);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Flushes and closes the file, renames it over the target and flushes the
  // folder. False (errno set) when any step fails; the target is then as it was.
  bool commit();

 private:
  std::filesystem::path target_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes a whole file through a TemporaryFile: the target gets the content, or
// stays as it was. A new file is made readable by all (0644); an existing one
// keeps its permissions. The message names the target.
Status writeFileAtomically(const Machine& machine, const std::filesystem::path& target,
                           const std::string& content);

// Notes a temporary folder that is wholly ours (made by mkdtemp), so that a later
// sweep removes it if its run could not.
void noteOwnTemporaryFolder(const Machine& machine, const std::filesystem::path& folder);

// Removes our temporary files from every folder of the list and every folder of
// our own that is still there (never following a link), then the list itself.
// Only while no other process of ours runs on the machine: under the install lock.
void sweepLeftovers(const Machine& machine);

}  // namespace pm::posix
