// The content of one registry store file in memory (see posixRegistryStore.h
// for the format), with what reads and writes of the store do to it. The store
// opens the files; this reads them through a Source, and hands what a fold
// writes to a function.
//
// Made for stores of many megabytes (a user's exported HKEY_CURRENT_USER):
// loading checks every line, a megabyte at a time (a file of some megabytes
// in pieces on two threads), and keeps only each [key] line's path and where
// its lines are. A key is made when it is first asked for, from every [key]
// line that names it (in a file of any order); when a key is first used,
// where each of its values' lines is is noted, with a hash of the name; a line
// is read again when its value is wanted. When the store is
// written, the old file is copied as it stands, whatever its order, spacing,
// comments, line ends or encoding, and only what writes changed is written
// anew (see serialize). Keys met and values are found through hash tables of
// their lower-case names. So the first lookup of a key costs a look through
// the [key] lines, a later one or a change the same on any size, and the
// memory is some tens of bytes a [key] line, and a value of the keys in use.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/result.h"

namespace pm::posix {

class RegistryHive {
 public:
  // The bytes of a store file, read when needed.
  class Source {
   public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    // `length` bytes from `offset` into `into`; false when they cannot be read
    // any more (the file was changed in place).
    virtual bool read(std::uint64_t offset, std::size_t length, char* into) const = 0;
    // The same, added to the end of `out`.
    bool append(std::uint64_t offset, std::size_t length, std::string& out) const {
      const std::size_t old = out.size();
      out.resize(old + length);
      return read(offset, length, out.data() + old);
    }
  };
  // An open file; the source closes it.
  static std::shared_ptr<const Source> fileSource(int fd, std::uint64_t size);

  struct ParseError {
    int line;
    std::string what;
  };
  // Thrown by any call that must read the source when its bytes are gone or
  // no longer what they were.
  struct SourceChanged {};

  explicit RegistryHive(std::string rootName = {});
  RegistryHive(RegistryHive&&) noexcept;
  RegistryHive& operator=(RegistryHive&&) noexcept;
  ~RegistryHive();

  // Reads a store file: UTF-8 (with or without its byte order mark) or UTF-16LE
  // with its byte order mark, lines ending in CR LF or LF. Throws ParseError.
  static RegistryHive load(std::shared_ptr<const Source> source, std::string rootName);
  // The store file's text, handed to `write` in pieces of some hundred
  // kilobytes: the source's bytes, but for the lines of values that writes
  // changed (the new line in place of the old lines) or added (after the key's
  // last value line), and the keys that writes made or gave values and that
  // have no lines in the source: each after the key before it in tree order
  // when the source's keys are in tree order, else at the end. New lines end as
  // the source's header line does, and a UTF-16 source is written as UTF-16LE
  // again. Without a source: the header and the keys made, CR LF. `madeAtEnd`:
  // the keys made go at the end even when the source is in tree order.
  void serialize(const std::function<void(std::string_view)>& write, bool madeAtEnd = false) const;
  // When what serialize(write, true) writes is the source's bytes followed by
  // more (no key in the source was changed), those bytes, in the source's
  // encoding; else nothing. So a fold can append them instead.
  std::optional<std::string> appendix() const;

  bool keyExists(std::string_view keyPath) const;
  // Nothing when the key or the value does not exist; fails for data that is
  // no string or number, naming `file` and the key.
  Result<std::optional<RegValue>> value(std::string_view keyPath, std::string_view valueName,
                                        const std::string& file) const;
  // In their order; empty when the key does not exist.
  std::vector<std::string> valueNames(std::string_view keyPath) const;

  // The key and its parents; true when anything was added. A new key takes its
  // parent's spelling.
  bool createKey(std::string_view keyPath);
  // Creates the key where needed and sets the value (an existing value keeps the
  // spelling of its name); true when anything changed.
  bool setValue(std::string_view keyPath, std::string_view valueName, const RegValue& value);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pm::posix
