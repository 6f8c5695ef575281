// Reading Microsoft cabinets through libmspack.
//
// A CabinetReader opens one cabinet (a host file, or bytes in memory), lists its
// members and decompresses one member at a time into a host file. libmspack
// streams: memory use is bounded by the folder being decompressed (a 32 KiB
// MSZIP window, up to 2 MiB for LZX), never by the size of the cabinet.
//
// Damaged input never crashes: every failure comes back as a Status whose
// message says what is wrong ("not a cabinet file", "checksum mismatch"...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/datetime.h"
#include "platform/result.h"

namespace pm::cabarc {

struct CabinetMember {
  std::string name;  // as stored ("\" separated), converted to UTF-8
  // The other cabinet of a set that holds part of the member's data; empty when
  // this cabinet holds it whole (cabinetSet.h).
  std::string elsewhere;
  // The stored local date-time; empty when the stored fields are out of range.
  std::optional<DateTime> time;
  std::uint32_t size = 0;
  int attributes = 0;  // MSCAB_ATTRIB_* bits as stored
};

// A file that the caller has made for a member (exclusively) and hands to the
// reader, which writes the member into it and closes it: a descriptor on
// POSIX, a HANDLE on Windows.
using OutputHandle = std::intptr_t;
inline constexpr OutputHandle kSkipMember = -1;     // not wanted after all
inline constexpr OutputHandle kDiscardMember = -2;  // read through and thrown away (a test)

// What extractEach asks for, member by member, in the cabinet's order.
class ExtractionSink {
 public:
  virtual ~ExtractionSink() = default;
  // Member `index` comes next: the file to write it into, kDiscardMember or kSkipMember.
  virtual OutputHandle begin(std::size_t index) = 0;
  // Member `index` has been written into `file`, which is about to be closed
  // (the moment to give it its time: one call on the open file, no lookup by
  // name). end() says whether the member is whole.
  virtual void written(std::size_t index, OutputHandle file) { (void)index, (void)file; }
  // Member `index` is done: its file is complete when `result` is ok, and
  // closed (on Windows a complete one is closed only after end() returns, so
  // that it is moved into place through its handle: moveInto's `open`).
  // Also called, without begin, for a member that cannot be read at all: one
  // this cabinet does not hold whole, or one behind damage that stopped the
  // cabinet library.
  virtual void end(std::size_t index, const Status& result) = 0;
};

class CabinetReader {
 public:
  ~CabinetReader();
  CabinetReader(CabinetReader&&) noexcept;
  CabinetReader& operator=(CabinetReader&&) noexcept;

  // Opens a cabinet file (an absolute host path).
  static Result<CabinetReader> open(const std::string& hostFile);
  // Opens a cabinet held in memory; the bytes must outlive the reader.
  static Result<CabinetReader> openMemory(std::span<const unsigned char> bytes);

  const std::vector<CabinetMember>& members() const;
  // The length of the cabinet file that its header gives, in bytes.
  std::uint64_t declaredLength() const;

  // Decompresses the members `wanted` (indexes in ascending order) in one pass
  // over the cabinet. A member that fails does not stop the others. On failure
  // a member's file may hold part of the data: the caller writes to a
  // temporary name and removes it.
  void extractEach(const std::vector<std::size_t>& wanted, ExtractionSink& sink);

  // Warnings libmspack gave while reading (extra bytes at the end...), oldest first.
  std::vector<std::string> takeWarnings();

 private:
  struct Impl;
  explicit CabinetReader(std::unique_ptr<Impl> impl);
  static Result<CabinetReader> openNamed(std::unique_ptr<Impl> impl, const std::string& name);
  std::unique_ptr<Impl> impl_;
};

// Plain words for a libmspack error code.
std::string describeMspackError(int code);

}  // namespace pm::cabarc
