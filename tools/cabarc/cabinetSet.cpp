#include "tools/cabarc/cabinetSet.h"

#include <cstdint>

namespace pm::cabarc {
namespace {

constexpr std::uint16_t kHasPrevious = 0x0001, kHasNext = 0x0002, kHasReserve = 0x0004;
// A member's folder index: from the previous cabinet, into the next, or both.
constexpr std::uint16_t kFromPrevious = 0xFFFD, kToNext = 0xFFFE, kPreviousAndNext = 0xFFFF;

class Stream {
 public:
  explicit Stream(const std::function<std::size_t(void*, std::size_t)>& read) : read_(read) {}
  bool bytes(void* to, std::size_t n) {
    if (read_(to, n) != n) return false;
    at_ += n;
    return true;
  }
  bool skip(std::size_t n) {
    char sink[256];
    while (n > 0) {
      const std::size_t step = n < sizeof sink ? n : sizeof sink;
      if (!bytes(sink, step)) return false;
      n -= step;
    }
    return true;
  }
  bool u8(std::uint32_t& v) {
    unsigned char b;
    if (!bytes(&b, 1)) return false;
    v = b;
    return true;
  }
  bool u16(std::uint32_t& v) {
    unsigned char b[2];
    if (!bytes(b, 2)) return false;
    v = b[0] | b[1] << 8;
    return true;
  }
  bool u32(std::uint32_t& v) {
    unsigned char b[4];
    if (!bytes(b, 4)) return false;
    v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }
  // A stored name: at most 255 bytes and its end.
  bool text(std::string& s) {
    s.clear();
    for (char c; bytes(&c, 1);) {
      if (c == '\0') return true;
      if (s.size() == 255) return false;
      s += c;
    }
    return false;
  }
  std::size_t at() const { return at_; }

 private:
  const std::function<std::size_t(void*, std::size_t)>& read_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<CabinetSet> readCabinetSet(
    const std::function<std::size_t(void* buffer, std::size_t bytes)>& read) {
  Stream in(read);
  char signature[4];
  std::uint32_t unused, filesAt, folders, files, flags, folderReserve = 0;
  if (!in.bytes(signature, 4) || !in.skip(12) || !in.u32(filesAt) || !in.skip(6) ||
      !in.u16(folders) || !in.u16(files) || !in.u16(flags) || !in.skip(4))
    return std::nullopt;
  if (flags & kHasReserve) {
    std::uint32_t headerReserve;
    if (!in.u16(headerReserve) || !in.u8(folderReserve) || !in.u8(unused) ||
        !in.skip(headerReserve))
      return std::nullopt;
  }
  CabinetSet set;
  std::string disk;
  if ((flags & kHasPrevious) && (!in.text(set.previous) || !in.text(disk))) return std::nullopt;
  if ((flags & kHasNext) && (!in.text(set.next) || !in.text(disk))) return std::nullopt;
  if (!in.skip(folders * (8 + folderReserve)) || filesAt < in.at() || !in.skip(filesAt - in.at()))
    return std::nullopt;
  std::vector<std::uint32_t>& folderOf = set.folders;
  folderOf.resize(files);
  bool firstFolderContinues = false;
  std::string name;
  for (auto& folder : folderOf) {
    if (!in.skip(8) || !in.u16(folder) || !in.skip(6) || !in.text(name)) return std::nullopt;
    if (folder == kFromPrevious || folder == kPreviousAndNext) firstFolderContinues = true;
  }
  for (const std::uint32_t folder : folderOf) {
    // The first folder begins in the previous cabinet when any member comes
    // from there: the offsets of all its members count from that beginning.
    if (folder == kFromPrevious || folder == kPreviousAndNext ||
        (folder == 0 && firstFolderContinues))
      set.elsewhere.push_back(set.previous.empty() ? "the previous cabinet" : set.previous);
    else if (folder == kToNext)
      set.elsewhere.push_back(set.next.empty() ? "the next cabinet" : set.next);
    else
      set.elsewhere.emplace_back();
  }
  return set;
}

std::string notWholeReason(const std::string& neighbour) {
  return "it is not whole in this cabinet: part of it is in " + neighbour +
         " of the cabinet set, which Cabarc does not follow";
}

}  // namespace pm::cabarc
