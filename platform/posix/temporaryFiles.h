// The temporary files and folders that this platform makes, and the clean-up of
// what a killed process left of them.
//
// A file is written under a temporary name beside its target,
// ".<target name>.pmtmp-XXXXXX" (made exclusively by mkostemp, so a name planted
// there is never written through), flushed, and renamed over the target. A
// process killed meanwhile leaves the temporary file. So that a later run can
// find it, every folder that receives one is first noted in the machine's list
// of leftover places, "<machine>/PMSetup.leftovers" (one "F" entry per folder
// and process, leftoverRecord.h), as is every temporary folder wholly of our
// own ("D", with the token of the owner mark made in it). The record is made
// 0600 and believed only while it is a plain file of this user that nobody
// else may write. sweepLeftovers removes what those places still hold of ours;
// the install lock (posixInstallLock.h) calls it when it is taken, so no
// running process can still be writing there.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/machine.h"
#include "platform/result.h"

namespace pm::posix {

// The calls that put a committed file on disk and in its place. Tests swap them
// to see their order: the content flushed before the rename, the folder after.
struct DiskCalls {
  int (*flush)(int fd);
  int (*rename)(const char* from, const char* to);
};
DiskCalls& diskCalls();

// True for the names that TemporaryFile gives (".x.pmtmp-AbC123").
bool isTemporaryFileName(const std::string& name);

// A new file beside `target`, removed again unless it was committed. Its folder
// is noted in `machine`'s list of leftover places; without a machine, the
// writer clears what a killed write left itself (removeTemporaryFilesOf).
class TemporaryFile {
 public:
  TemporaryFile(const Machine& machine, const std::filesystem::path& target);
  explicit TemporaryFile(const std::filesystem::path& target);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Flushes and closes the file, renames it over the target and flushes the
  // folder. False (errno set) when any step fails; the target is then as it was.
  // `beforeRename` (tests) runs when the content is on disk, before the rename.
  bool commit(const std::function<void()>& beforeRename = {});

 private:
  std::filesystem::path target_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

// The one way this platform replaces a whole file: through a TemporaryFile, so
// the target gets the content, or stays as it was. `content` hands the new
// content in pieces, in order, to the function it is given (a large file need
// not be held whole in memory). The file gets `mode`; without one, an existing
// target keeps its permissions and a new file is readable by all (0644). The
// message names the target.
using ContentWriter = std::function<void(const std::function<void(std::string_view)>& write)>;
// `machine`: where the folder is noted for a later run, or nullptr for a writer
// that clears its own leftovers (the registry store, which also writes after a
// run has given up its install lock and cleared the list).
Status writeFileAtomically(const Machine* machine, const std::filesystem::path& target,
                           const ContentWriter& content, std::optional<mode_t> mode = std::nullopt,
                           const std::function<void()>& beforeRename = {});
inline Status writeFileAtomically(const Machine& machine, const std::filesystem::path& target,
                                  std::string_view content) {
  return writeFileAtomically(&machine, target, [content](const auto& write) { write(content); });
}

// Removes what writes of `target` cut short by a crash left beside it (a link
// planted under such a name is removed, never followed). Only while no write of
// `target` can be running (its writer's lock held).
void removeTemporaryFilesOf(const std::filesystem::path& target);

// Notes a temporary folder that is wholly ours (made by mkdtemp), and marks it
// as ours, so that a later sweep removes it if its run could not.
void noteOwnTemporaryFolder(const Machine& machine, const std::filesystem::path& folder);

// Removes our temporary files from every folder of the record and every folder
// of our own that is still there and provably ours (never following a link),
// then the record itself. Any other line, and a record it cannot trust, is ignored.
// Only while no other process of ours runs on the machine: under the install lock.
void sweepLeftovers(const Machine& machine);

}  // namespace pm::posix
