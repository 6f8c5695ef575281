// The temporary files and folders that this platform makes, and the clean-up of
// what a killed process left of them.
//
// A file is written under a temporary name beside its target,
// ".<target name>.pmtmp-XXXXXX", made with CREATE_NEW (so a name planted there
// is never opened, let alone written through), flushed with FlushFileBuffers
// and moved over the target with MoveFileExW (MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH). A process killed meanwhile leaves the temporary
// file. So that a later run can find it, every folder that receives one is
// first noted in the machine's leftovers record,
// "%ProgramData%\Korrimel Software\PMSetup\PMSetup.leftovers" (one "F" entry
// per folder and process, leftoverRecord.h), as is every temporary folder
// wholly of our own ("D", with the token of the owner mark made in it). The
// record is used only while its folder is owned by the administrators and
// only they and the system may change it, so an elevated installer never
// deletes on another user's, or an unelevated process's, word.
// sweepLeftovers removes what those places still hold of ours; the install
// lock (win32InstallLock.h) calls it when it is taken, so no installer can
// still be writing there.
#pragma once

#include <windows.h>

#include <string>

#include "platform/result.h"

namespace pm::win32 {

// The random ending of our temporary folders' names: "PMUpTemp-Ab12Cd34".
inline constexpr std::size_t kFolderRandomLength = 8;

// True for the names that TemporaryFile gives (".x.pmtmp-AbC123").
bool isTemporaryFileName(const std::wstring& name);

// A new, empty file beside `target` (a full path), removed again unless it was
// committed.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& target);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // False when no file could be made; error() says why.
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD error() const { return error_; }
  HANDLE handle() const { return handle_; }
  const std::wstring& path() const { return path_; }
  // Flushes and closes the file, gives it `attributes` (FILE_ATTRIBUTE_*; 0
  // leaves them) and moves it over the target (without `replace`, only to a
  // name that is free). False when any step fails (GetLastError() says why);
  // the target is then as it was.
  bool commit(DWORD attributes = 0, bool replace = true);

 private:
  std::wstring target_;
  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD error_ = 0;
  bool committed_ = false;
};

// The random ending of a new temporary name: `length` letters and digits.
std::wstring randomEnding(std::size_t length);

// Deletes a folder with everything in it. A link inside (any reparse point) is
// removed itself, never followed. Without force a read-only file makes the call
// fail, naming it; what could be deleted is gone.
Status removeFolderTree(const std::wstring& folder, bool force);

// Notes a temporary folder that is wholly ours, and marks it as ours, so that a
// later sweep removes it if its run could not.
void noteOwnTemporaryFolder(const std::wstring& folder);

// Removes our temporary files from every folder of the record and every folder
// of our own that is still there and provably ours (never following a link),
// then the record itself. Any other line is ignored.
// Only while no other installer runs: under the install lock.
void sweepLeftovers();

}  // namespace pm::win32
