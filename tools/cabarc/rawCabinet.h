// Writes cabinet bytes by hand, one stored (uncompressed) folder, so tests and
// the fuzzing seeds can hold names and fields that no archiver would write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pm::cabarc {

struct RawMember {
  std::string name;
  std::string data;
  std::uint16_t date = (2020 - 1980) << 9 | 1 << 5 | 1;  // 2020-01-01
  std::uint16_t time = 12 << 11;                         // 12:00:00
  std::uint16_t attributes = 0x20;
  // 0xFFFD: begins in the previous cabinet, 0xFFFE: goes on in the next one,
  // 0xFFFF: both.
  std::uint16_t folder = 0;
  std::uint32_t size = 0xFFFFFFFF;  // the size stored, when not that of `data`
};

// The neighbours of a cabinet that is one part of a set.
struct RawSet {
  std::string previous, next;
};

inline std::string rawCabinet(const std::vector<RawMember>& members, const RawSet& set = {}) {
  auto u16 = [](std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  };
  auto u32 = [&](std::string& s, std::uint32_t v) {
    u16(s, v & 0xFFFF);
    u16(s, v >> 16);
  };
  std::string files, payload;
  for (const auto& m : members) {
    u32(files, m.size != 0xFFFFFFFF ? m.size : static_cast<std::uint32_t>(m.data.size()));
    u32(files, static_cast<std::uint32_t>(payload.size()));
    u16(files, m.folder);
    u16(files, m.date);
    u16(files, m.time);
    u16(files, m.attributes);
    files += m.name;
    files += '\0';
    payload += m.data;
  }
  std::string blocks;
  std::uint32_t nblocks = 0;
  for (std::size_t at = 0; at < payload.size() || nblocks == 0; at += 32768) {
    const std::string chunk = payload.substr(at, 32768);
    u32(blocks, 0);  // no checksum
    u16(blocks, static_cast<std::uint32_t>(chunk.size()));
    u16(blocks, static_cast<std::uint32_t>(chunk.size()));
    blocks += chunk;
    ++nblocks;
    if (payload.empty()) break;
  }
  std::string neighbours;  // each with a disk name
  if (!set.previous.empty()) neighbours += set.previous + '\0' + "disk" + '\0';
  if (!set.next.empty()) neighbours += set.next + '\0' + "disk" + '\0';
  const std::uint32_t headerSize = 36 + static_cast<std::uint32_t>(neighbours.size());
  const std::uint32_t folderSize = 8;
  const std::uint32_t filesAt = headerSize + folderSize;
  const std::uint32_t dataAt = filesAt + static_cast<std::uint32_t>(files.size());
  std::string cab = "MSCF";
  u32(cab, 0);
  u32(cab, dataAt + static_cast<std::uint32_t>(blocks.size()));
  u32(cab, 0);
  u32(cab, filesAt);
  u32(cab, 0);
  cab += static_cast<char>(3);  // version 1.3
  cab += static_cast<char>(1);
  u16(cab, 1);  // folders
  u16(cab, static_cast<std::uint32_t>(members.size()));
  u16(cab, (set.previous.empty() ? 0 : 1) | (set.next.empty() ? 0 : 2));  // flags
  u16(cab, 0x1234);                                                       // set id
  u16(cab, set.previous.empty() ? 0 : 1);                                 // number in set
  cab += neighbours;
  u32(cab, dataAt);
  u16(cab, nblocks);
  u16(cab, 0);  // stored
  return cab + files + blocks;
}

}  // namespace pm::cabarc
