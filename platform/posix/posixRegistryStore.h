// The registry of the machine folder: one text file per root key
// (<machine>/registry/HKEY_CURRENT_USER.reg, .../HKEY_CLASSES_ROOT.reg) in the
// format of a Windows registry export, version 5:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Korrimel Software\Pelmora]
//   "AppPath"="C:\\Program Files\\Pelmora"
//   "Count"=dword:00000019
//   @="default value"
//
// It reads what regedit and people write: CR LF or LF, a UTF-8 byte order mark,
// or UTF-16LE with its byte order mark; keys in any order, with or without their
// parents; ";" comment lines are skipped. Values of other types (hex:...,
// hex(2):..., with their continuation lines) are kept as written. A fold keeps
// the file as it stands and changes only the lines of what was written
// (registryHive.h), in the file's own line ends and encoding: a key no write
// touched keeps its bytes. A new store is written with CR LF, in UTF-8, each key
// made as its own section, its new parents too. Key and value names compare
// ignoring ASCII letter case.
//
// Cost independent of the store's size, as in Windows (a hive and its
// transaction log):
//
// - A store file is scanned once per process (registryHive.h: every line
//   checked, a key's values read when the key is first used), in the
//   background ahead of its first use where the program asks (readAhead), and
//   kept; every call checks it by identity, size and times (stat), so a file
//   changed by another process or by hand is read again as it stands. A reader
//   lets go of the lock while it scans.
// - A write appends one checksummed line to the log <file>.log (registryLog.h)
//   and flushes it before it returns; every reader applies the log on top of the
//   store file, so a write is seen by every process at once. A line cut short
//   by a crash is ignored, and the next writer cuts it off.
// - The log is folded into the store file (the whole file rewritten through a
//   new temporary file, flushed and renamed over it, then the log removed; in
//   a file of at least appendFoldBytes, keys that were only made are appended
//   in place instead, behind a flushed note <file>.append of what goes where,
//   removed before the log) when
//   it grows past max(foldLogBytes, a quarter of the store file), and when the
//   process ends (destructor, or exit()): the store file then holds every value
//   again and no log is left. A process that is killed leaves its log; the next
//   process of ours that opens that store applies it, and folds it when it ends
//   (a log whose writer still runs is that writer's to fold: a writer holds a
//   shared lock on the log while it has lines in it). Until then, a reader of the
//   store file alone sees a whole, older store: every value as of the last fold
//   (and, after an append cut short, perhaps the start of it, which the note
//   tells our readers to leave out; the next process rewrites the file whole).
// - A crash at any point leaves the old store file or the new one and a log
//   that, applied on top, gives every value written before the crash (a line
//   applied twice sets the same value again). A temporary file left by a crash
//   is removed at the next process's end; temporary files are created
//   exclusively, with a random name (temporaryFiles.h), so a link planted at
//   such a name is never followed, nor is one at the log's name.
// - Writes hold an exclusive lock (flock on <file>.lock), reads a shared one, so
//   two processes that write at once never lose each other's values.
//
// A store file without its owner's write permission (read-only, as a protected
// key) makes every write fail with "access is denied", and is never rewritten. A
// file that cannot be parsed makes every call fail with "<file>: line N: <what>"
// and is never overwritten. A string value holding a line break or NUL cannot
// be written in this format; such a write fails with a message and changes
// nothing.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/posix/machine.h"
#include "platform/registry.h"

namespace pm::posix {

struct RegistryChange;

class PosixRegistryStore : public RegistryStore {
 public:
  explicit PosixRegistryStore(Machine machine);
  // Folds (see flush).
  ~PosixRegistryStore() override;
  PosixRegistryStore(const PosixRegistryStore&) = delete;
  PosixRegistryStore& operator=(const PosixRegistryStore&) = delete;

  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) override;
  Status writeValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                    const RegValue& value) override;
  Status createKey(RootKey root, const std::string& keyPath) override;
  Result<bool> keyExists(RootKey root, const std::string& keyPath) override;
  // In the order of the file (new values go last).
  Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) override;

  // Starts scanning the store file of `root` in the background, for a program
  // that will use it soon (the installer, which first runs other programs): its
  // first call then finds the scan done. A file changed meanwhile is read again.
  void readAhead(RootKey root);

  // What the end of the process does: folds the log of every store this object
  // has used into its store file, unless another running process still has lines
  // in it. The store stays usable.
  Status flush();

  // Tests only: called at each step of a write where a crash matters:
  // "log written" (a log line written, not yet flushed), "log flushed",
  // "temporary written" (a fold's new content flushed, not yet renamed),
  // "replaced" (renamed over the store file, the log not yet removed), "append
  // noted" (what a fold appends noted and flushed, not yet appended) and
  // "appended" (appended and flushed, the note and the log not yet removed).
  std::function<void(std::string_view step)> crashPoint;
  // The log is folded when it is longer than this and than a quarter of the store.
  std::size_t foldLogBytes = 256 * 1024;
  // A store file of this size or more gets the keys a fold makes at its end,
  // appended in place when the fold changes nothing else.
  std::size_t appendFoldBytes = 1024 * 1024;

 private:
  struct File;
  class Lock;
  File* fileOf(RootKey root, Status& failure);
  template <typename Answer>
  auto withFile(RootKey root, bool exclusive, Answer&& answer);
  Status begin(RootKey root, bool exclusive, Lock& lock, File*& file);
  Status change(RootKey root, const RegistryChange& change);
  Status refresh(File& file, Lock* releasable);
  Status appendToLog(File& file, const std::string& record);
  Status fold(File& file);
  Result<bool> appendToFile(File& file, const std::string& tail);
  Status finish(File& file);
  void step(std::string_view name) const {
    if (crashPoint) crashPoint(name);
  }

  Machine machine_;
  std::mutex mutex_;
  std::unique_ptr<File> files_[2];  // HKEY_CLASSES_ROOT, HKEY_CURRENT_USER
};

}  // namespace pm::posix
