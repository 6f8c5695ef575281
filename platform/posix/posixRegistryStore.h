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
// written with CR LF, in UTF-8. It reads what regedit writes: CR LF or LF, a
// UTF-8 byte order mark, or UTF-16LE with its byte order mark; ";" comment lines
// are skipped (and not written back). Values of other types (hex:..., hex(2):...,
// with their continuation lines) are kept as written. A key is written as its
// own section, and so are its parents; keys are written in tree order, values in
// the order they were made. Key and value names compare ignoring ASCII letter case.
//
// Every call re-reads the file, so changes by another process are seen. A write
// holds an exclusive lock (flock on <file>.lock) while it reads, changes and
// replaces the file: the new content goes to <file>.tmp, is flushed, renamed
// over the file, and the folder is flushed. Two processes that write at once
// therefore never lose each other's values, and a crash leaves either the old or
// the new file. Reads hold a shared lock. A file that cannot be parsed makes
// every call fail with "<file>: line N: <what>" and is never overwritten.
//
// A string value holding a line break or NUL cannot be written in this format;
// such a write fails with a message and changes nothing.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/posix/machine.h"
#include "platform/registry.h"

namespace pm::posix {

class PosixRegistryStore : public RegistryStore {
 public:
  explicit PosixRegistryStore(Machine machine) : machine_(std::move(machine)) {}

  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) override;
  Status writeValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                    const RegValue& value) override;
  Status createKey(RootKey root, const std::string& keyPath) override;
  Result<bool> keyExists(RootKey root, const std::string& keyPath) override;
  // In the order of the file (new values go last).
  Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) override;

  // Tests only: called after the new content is in the temporary file and
  // before it is renamed over the store.
  std::function<void()> beforeReplace;

 private:
  Machine machine_;
};

}  // namespace pm::posix
