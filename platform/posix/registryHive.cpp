#include "platform/posix/registryHive.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/ansiText.h"

namespace pm::posix {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::size_t kChunk = 1 << 20;  // read a megabyte at a time
constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

// Memory for what a scan of a large file fills: an allocation of a megabyte or
// more is mapped on its own, at a multiple of 2 MB, and the kernel is asked to
// back it with huge pages, so that filling it costs a page fault every 2 MB
// rather than every 4 KB (on a virtual machine a fault can cost 5 to 10 us: a
// scan of 54 MB took some 4,000 of them, 20 to 40 ms). Memory is still only
// used as it fills, 2 MB at a time (less from the heap).
template <typename T>
struct HugePages {
  using value_type = T;
  static constexpr std::size_t kHuge = std::size_t{2} << 20;
  static constexpr std::size_t kLeast = kHuge / 2;
  HugePages() = default;
  template <typename U>
  HugePages(const HugePages<U>&) noexcept {}
  static std::size_t mapped(std::size_t n) { return (n * sizeof(T) + kHuge - 1) & ~(kHuge - 1); }
  T* allocate(std::size_t n) {
    if (n > (std::numeric_limits<std::size_t>::max() - 2 * kHuge) / sizeof(T))
      throw std::bad_array_new_length();
    if (n * sizeof(T) < kLeast) return std::allocator<T>().allocate(n);
    const std::size_t bytes = mapped(n);
    void* const p =
        ::mmap(nullptr, bytes + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t from = (at + kHuge - 1) & ~(kHuge - 1);
    if (from > at) ::munmap(p, from - at);
    if (at + kHuge > from) ::munmap(reinterpret_cast<void*>(from + bytes), at + kHuge - from);
    ::madvise(reinterpret_cast<void*>(from), bytes, MADV_HUGEPAGE);  // a hint: may be refused
    return reinterpret_cast<T*>(from);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) < kLeast) return std::allocator<T>().deallocate(p, n);
    ::munmap(p, mapped(n));
  }
  friend bool operator==(const HugePages&, const HugePages&) { return true; }
};
template <typename T>
using HugeVector = std::vector<T, HugePages<T>>;
using HugeString = std::basic_string<char, std::char_traits<char>, HugePages<char>>;

// ASCII lower case (names compare ignoring ASCII letter case), and the order of
// keys: lower case, with "\" before every character of a name so that the
// children of "a" come before the sibling "a b".
constexpr std::array<unsigned char, 256> makeLower() {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c)
    t[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return t;
}
constexpr std::array<unsigned char, 256> kLower = makeLower();
constexpr std::array<unsigned char, 256> makeOrder() {
  std::array<unsigned char, 256> t = makeLower();
  t['\\'] = 1;
  return t;
}
constexpr std::array<unsigned char, 256> kOrder = makeOrder();

inline unsigned char lower(char c) {
  return kLower[static_cast<unsigned char>(c)];
}
// Without the C library's locale: a store holds hundreds of thousands of digits.
inline bool hexDigit(char c) {
  const unsigned char l = lower(c);
  return (l >= '0' && l <= '9') || (l >= 'a' && l <= 'f');
}

constexpr std::uint32_t kHashStart = 2166136261u;  // FNV-1a
inline std::uint32_t hashStep(std::uint32_t h, char c) {
  return (h ^ lower(c)) * 16777619u;
}
std::uint32_t hashLower(std::string_view s, std::uint32_t h = kHashStart) {
  for (char c : s) h = hashStep(h, c);
  return h;
}

// Where a hash goes in a table: names that differ in their last letters (Key001,
// Key002...) must not crowd into neighbouring slots.
inline std::uint32_t spread(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  return h ^ (h >> 16);
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // mostly spelled alike: one wide compare
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string_view trimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return s.substr(i);
}
std::string_view trimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
bool blank(std::string_view s) {
  return s.find_first_not_of(" \t\r") == std::string_view::npos;
}

// UTF-16LE bytes (no byte order mark) as UTF-8, added to `out`. A surrogate
// without its pair is kept as its own three bytes, so that it goes back as it was.
template <typename String>
void appendUtf16leAsUtf8(String& out, std::string_view bytes) {
  // Written in place: a regedit export is megabytes of mostly ASCII.
  const std::size_t start = out.size();
  out.resize(start + bytes.size() / 2 * 3);  // a unit gives at most 3 bytes, a pair 4
  char* p = out.data() + start;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (std::endian::native == std::endian::little && i + 8 <= bytes.size()) {
      // Four ASCII units at once.
      std::uint64_t four;
      std::memcpy(&four, b + i, 8);
      if ((four & 0xFF80FF80FF80FF80ull) == 0) {
        for (int k = 0; k < 4; ++k) *p++ = static_cast<char>(four >> (16 * k));
        i += 6;
        continue;
      }
    }
    std::uint32_t u = b[i] | (std::uint32_t{b[i + 1]} << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t lo = b[i + 2] | (std::uint32_t{b[i + 3]} << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    p = putUtf8(p, u);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}
std::string utf16leToUtf8(std::string_view bytes) {
  std::string out;
  appendUtf16leAsUtf8(out, bytes);
  return out;
}

// UTF-8 as UTF-16LE, added to `out`; returns how much of `utf8` was taken: all
// but a character cut off at its end. A byte that starts no character stands for
// itself (as in Windows-1252's first half).
std::size_t appendUtf8AsUtf16le(std::string& out, std::string_view utf8) {
  // Written in place: each byte gives at most one unit.
  const std::size_t start = out.size();
  out.resize(start + utf8.size() * 2);
  char* p = out.data() + start;
  auto unit = [&p](std::uint32_t u) {
    *p++ = static_cast<char>(u & 0xFF);
    *p++ = static_cast<char>(u >> 8);
  };
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      unit(c);
      ++i;
      continue;
    }
    const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (i + n > utf8.size()) break;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    bool valid = true;
    for (std::size_t j = 1; j < n; ++j) {
      const auto b = static_cast<unsigned char>(utf8[i + j]);
      valid = valid && (b & 0xC0) == 0x80;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!valid) {
      unit(c);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
    i += n;
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return i;
}

// The text between quotes as it reads: "\\" and "\"" stand for "\" and """; any
// other backslash is itself.
std::string unescape(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == '\\' || raw[i + 1] == '"')) ++i;
    out += raw[i];
  }
  return out;
}

// `text` between quotes as written: "\" and """ escaped.
void appendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
}

void appendDword(std::string& out, std::uint32_t n) {
  char buf[14] = {'d', 'w', 'o', 'r', 'd', ':'};
  for (int i = 0; i < 8; ++i) buf[6 + i] = "0123456789abcdef"[(n >> (28 - 4 * i)) & 0xF];
  out.append(buf, sizeof buf);
}

// The bytes of a hex value's data ("hex(2):41,00,42,00,\ ..."), or nothing when
// they cannot be read.
std::optional<std::string> hexBytes(std::string_view all) {
  const std::size_t colon = all.find(':');
  std::string out;
  std::string digits;
  for (std::size_t i = colon + 1; i <= all.size(); ++i) {
    const char c = i < all.size() ? all[i] : ',';
    if (hexDigit(c)) {
      digits += c;
    } else if (c == ',') {
      if (digits.empty() && i < all.size()) return std::nullopt;
      if (!digits.empty()) {
        if (digits.size() > 2) return std::nullopt;
        out += static_cast<char>(std::stoi(digits, nullptr, 16));
      }
      digits.clear();
    } else if (c != '\\' && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      return std::nullopt;
    }
  }
  return out;
}

// The names of a key path (registry paths separate at "\" only; empty names
// drop out), joined by single "\".
std::string_view normalPath(std::string_view path, std::string& buffer) {
  const bool normal = path.empty() || (path.front() != '\\' && path.back() != '\\' &&
                                       path.find("\\\\") == std::string_view::npos);
  if (normal) return path;
  buffer.clear();
  std::size_t i = 0;
  while (i < path.size()) {
    const std::size_t end = std::min(path.find('\\', i), path.size());
    if (end > i) {
      if (!buffer.empty()) buffer += '\\';
      buffer.append(path.substr(i, end - i));
    }
    i = end + 1;
  }
  return buffer;
}

// ---- lines of the format ---------------------------------------------------------------

enum class Kind : std::uint8_t { String, Dword, Raw };

// A value line, trimmed, as written: what it names and holds.
struct ValueLine {
  std::string_view name;  // between the quotes, escaped as written ("" for "@")
  Kind kind = Kind::String;
  std::string_view data;  // String: between the quotes; Raw: from the type on
  std::uint32_t dword = 0;
  bool continues = false;  // Raw: the data goes on on the next line
};

// The closing quote of a quoted text that starts at s[0], or npos. Backslashes
// pair from the start of a run: an odd run just before a quote escapes it (only
// that run counts, so a path's many backslashes cost nothing).
inline std::size_t closingQuote(std::string_view s) {
  const char* const base = s.data();
  std::size_t from = 1;
  for (;;) {
    const void* quote = from < s.size() ? std::memchr(base + from, '"', s.size() - from) : nullptr;
    if (!quote) return std::string_view::npos;
    const std::size_t q = static_cast<std::size_t>(static_cast<const char*>(quote) - base);
    std::size_t run = q;
    while (run > from && base[run - 1] == '\\') --run;
    if ((q - run) % 2 == 0) return q;
    from = q + 1;
  }
}

ValueLine parseValueLine(std::string_view line, int lineNo) {
  using Error = RegistryHive::ParseError;
  ValueLine v;
  std::size_t p = 0;
  if (line[0] == '@') {
    p = 1;
  } else if (line[0] == '"') {
    const std::size_t close = closingQuote(line);
    if (close == std::string_view::npos)
      throw Error{lineNo, "missing closing quote of the value name"};
    v.name = line.substr(1, close - 1);
    p = close + 1;
  } else {
    throw Error{lineNo, "expected a key in [brackets] or a value (\"Name\"=... or @=...)"};
  }
  while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
  if (p >= line.size() || line[p] != '=')
    throw Error{lineNo, "expected \"=\" after the value name"};
  ++p;
  while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
  const std::string_view data = line.substr(p);
  if (!data.empty() && data[0] == '"') {
    const std::size_t close = closingQuote(data);
    if (close == std::string_view::npos)
      throw Error{lineNo, "missing closing quote of the value data"};
    if (close + 1 != data.size()) throw Error{lineNo, "text after the closing quote"};
    v.data = data.substr(1, close - 1);
  } else if (data.size() >= 6 && sameIgnoringCase(data.substr(0, 6), "dword:")) {
    const std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) throw Error{lineNo, "a dword needs 1 to 8 hex digits"};
    for (char c : digits) {
      if (!hexDigit(c)) throw Error{lineNo, "a dword needs 1 to 8 hex digits"};
      v.dword = v.dword * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : lower(c) - 'a' + 10);
    }
    v.kind = Kind::Dword;
  } else if (data.size() >= 4 && (sameIgnoringCase(data.substr(0, 4), "hex:") ||
                                  sameIgnoringCase(data.substr(0, 4), "hex("))) {
    v.kind = Kind::Raw;
    v.data = data;
    v.continues = data.back() == '\\';  // continuation lines follow while a line ends in "\"
  } else if (data == "-") {
    throw Error{lineNo, "a value deletion does not belong in a stored registry"};
  } else {
    throw Error{lineNo, "unrecognised value data \"" + std::string(data) + "\""};
  }
  return v;
}

// Whether a trimmed line is a value line of the shapes that make up most of a
// store, "name"="data" or "name"=dword:0000002a, that parseValueLine would
// take: checked without building its parts. False for any other line, which
// parseValueLine then reads (and reports).
bool plainValueLine(std::string_view line) {
  if (line.size() < 5 || line[0] != '"') return false;
  const std::size_t close = closingQuote(line);
  if (close == std::string_view::npos || close + 2 >= line.size() || line[close + 1] != '=')
    return false;
  const std::string_view data(line.data() + close + 2, line.size() - close - 2);
  if (data[0] == '"') return closingQuote(data) == data.size() - 1;
  if (data.size() < 7 || data.size() > 14 || std::memcmp(data.data(), "dword:", 6) != 0)
    return false;
  // Every digit checked, without a branch for each.
  bool digits = true;
  for (std::size_t i = 6; i < data.size(); ++i) digits &= hexDigit(data[i]);
  return digits;
}

// ---- sources -----------------------------------------------------------------------------

class FileSource : public RegistryHive::Source {
 public:
  FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~FileSource() override { ::close(fd_); }
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, std::size_t length, char* into) const override {
    std::size_t got = 0;
    while (got < length) {
      const ssize_t n = ::pread(fd_, into + got, length - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

class TextSource : public RegistryHive::Source {
 public:
  explicit TextSource(HugeString text) : text_(std::move(text)) {}
  std::uint64_t size() const override { return text_.size(); }
  bool read(std::uint64_t offset, std::size_t length, char* into) const override {
    if (offset + length > text_.size()) return false;
    std::memcpy(into, text_.data() + offset, length);
    return true;
  }

 private:
  HugeString text_;
};

// Bytes of a source kept in memory for reading lines: a megabyte or so from
// `start`, reused by the next reader when its part is there already. One
// buffer, allocated once: new memory is what reading costs most. A byte held
// lies at the same place within a page of memory as within a page of the
// file, so that the kernel copies the file's pages whole into whole pages
// (into memory at another offset, copying 50 MB took three times as long).
struct Window {
  static constexpr std::size_t kPage = 4096;
  // The memory: huge pages for a window of megabytes (see HugePages).
  struct Memory {
    char* at = nullptr;
    std::size_t size = 0;
    Memory() = default;
    explicit Memory(std::size_t n) : at(HugePages<char>().allocate(n)), size(n) {}
    Memory(Memory&& o) noexcept : at(std::exchange(o.at, nullptr)), size(o.size) {}
    Memory& operator=(Memory&& o) noexcept {
      std::swap(at, o.at);
      std::swap(size, o.size);
      return *this;
    }
    ~Memory() {
      if (at) HugePages<char>().deallocate(at, size);
    }
  };
  Memory memory;
  char* pages = nullptr;     // memory's first whole page
  std::size_t capacity = 0;  // from `pages`
  // The first byte held (at `start`; null before any memory is had): kept, not
  // worked out from `start`, as the line loop reads it for every line.
  char* bytes = nullptr;
  std::size_t size = 0;
  std::uint64_t start = 0;

  // Holds nothing, from `at` on.
  void reset(std::uint64_t at) {
    size = 0;
    start = at;
    bytes = pages ? pages + at % kPage : nullptr;
  }
  // Room for `more` bytes after the ones held: for a megabyte, room for two,
  // so that the rest of a line and the next megabyte fit.
  char* room(std::size_t more) {
    const std::size_t front = start % kPage;
    if (!pages || front + size + more > capacity) {
      const std::size_t wanted =
          std::max({capacity * 2, front + size + more, more >= kChunk ? 2 * kChunk : 0});
      Memory bigger(wanted + kPage);
      char* aligned =
          bigger.at + (kPage - reinterpret_cast<std::uintptr_t>(bigger.at) % kPage) % kPage;
      if (size) std::memcpy(aligned + front, bytes, size);
      memory = std::move(bigger);
      pages = aligned;
      capacity = wanted;
    }
    bytes = pages + front;
    return bytes + size;
  }
  void dropFront(std::size_t n) {
    n = std::min(n, size);
    start += n;
    size -= n;
    if (!pages) return;  // nothing held yet
    char* const to = pages + start % kPage;
    if (size) std::memmove(to, bytes + n, size);
    bytes = to;
  }
};

// The lines of a part of a source, read a megabyte at a time into a window; a
// line is valid until the next one is asked for.
class LineReader {
 public:
  // Reads a megabyte at a time up to `readTo` (by default even past the end of
  // the part: the next part is likely to follow), past it a few kilobytes.
  LineReader(const RegistryHive::Source& source, std::uint64_t begin, std::uint64_t end,
             Window& window, std::uint64_t readTo = kNoLimit)
      : source_(source), end_(end), w_(window), readTo_(readTo) {
    if (begin >= w_.start && begin <= w_.start + w_.size) {
      at_ = static_cast<std::size_t>(begin - w_.start);
    } else {
      w_.reset(begin);
    }
  }

  // Without its line end (LF or CR LF); false at the end.
  bool next(std::string_view& line) {
    // Most lines end within the bytes read: this part stays small enough to
    // be inlined into the loops that read millions of lines.
    if (at_ < full_) {
      const char* base = w_.bytes;
      if (const void* nl = std::memchr(base + at_, '\n', full_ - at_)) {
        take(line, static_cast<std::size_t>(static_cast<const char*>(nl) - base), true);
        return true;
      }
    }
    return nextRead(line);
  }
  // Where the line given last starts, and whether it ended in CR LF.
  std::uint64_t lineStart() const { return lineStart_; }
  bool crlf() const { return crlf_; }
  // Where a byte of that line is.
  std::uint64_t offsetOf(const char* p) const {
    return w_.start + static_cast<std::uint64_t>(p - w_.bytes);
  }
  // Where the line after it starts.
  std::uint64_t position() const { return std::min<std::uint64_t>(w_.start + at_, end_); }

 private:
  // Gives the line from here to `stop` (a line end when `ended`, else the
  // end of the part), without its CR, and moves past it.
  void take(std::string_view& line, std::size_t stop, bool ended) {
    line = std::string_view(w_.bytes + at_, stop - at_);
    const bool cr = !line.empty() && line.back() == '\r';
    if (cr) line.remove_suffix(1);
    crlf_ = ended && cr;
    lineStart_ = w_.start + at_;
    at_ = stop + 1;
  }

  // The line that ends after the bytes read, or at the end of the part.
  bool nextRead(std::string_view& line) {
    for (;;) {
      // The part's bytes in the window end at `limit`.
      const std::size_t limit =
          static_cast<std::size_t>(std::min<std::uint64_t>(w_.size, end_ - w_.start));
      full_ = limit;
      const bool whole = w_.start + limit >= end_;
      const char* base = w_.bytes;
      const void* nl = at_ < limit ? std::memchr(base + at_, '\n', limit - at_) : nullptr;
      if (nl || (whole && at_ < limit)) {
        take(line, nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - base) : limit,
             nl != nullptr);
        return true;
      }
      if (whole) return false;
      // Keep the start of the line and read on, a megabyte past it.
      w_.dropFront(at_);
      at_ = 0;
      const std::uint64_t from = w_.start + w_.size;
      if (from >= source_.size()) throw RegistryHive::SourceChanged{};
      const std::uint64_t wanted =
          readTo_ > from
              ? std::min<std::uint64_t>(kChunk, std::max<std::uint64_t>(readTo_ - from, 4096))
              : 4096;
      const auto length = static_cast<std::size_t>(std::min(wanted, source_.size() - from));
      if (!source_.read(from, length, w_.room(length))) throw RegistryHive::SourceChanged{};
      w_.size += length;
    }
  }

  const RegistryHive::Source& source_;
  std::uint64_t end_;
  Window& w_;
  std::uint64_t readTo_;
  std::size_t at_ = 0;
  std::size_t full_ = 0;  // the part's bytes in the window end here, as far as known
  std::uint64_t lineStart_ = 0;
  bool crlf_ = false;
};

class Output;

}  // namespace

// ---- the hive ------------------------------------------------------------------------------

struct RegistryHive::Impl {
  // Bytes of `added`: names, data and key paths made here.
  struct Span {
    std::uint32_t off = 0;
    std::uint32_t len = 0;
  };
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  static constexpr std::uint64_t kLargest = 0x7FFFFFFFu;  // a store file of 2 GB or more is refused

  struct Value {
    // In `added`: the name as it reads ("" for the default value); String data
    // between the quotes, escaped; Raw data as written from the type on. Or,
    // `inSource`, `name` is where the value's line starts in the source and how
    // long it is (with its continuation lines), read again when needed.
    Span name, data;
    // A value made by a write in place of one read from the source: where that
    // one's lines are (its new line goes there).
    Span from{kNone, 0};
    bool inSource = false;
    std::uint32_t dword = 0;
    std::uint32_t hash = 0;  // of the lower-case name
    Kind kind = Kind::String;
    bool plainName = true;  // the name holds no "\" or """
  };
  // A value's name and data, wherever they are; valid until the buffer they
  // were read into is used again.
  struct Resolved {
    std::string_view plainName;  // the name, when it needs no unescaping
    bool nameAsIs = true;        // the name holds no "\" or """
    Kind kind = Kind::String;
    std::string_view data;
    std::uint32_t dword = 0;
    std::optional<std::string> decodedName;  // the name, unescaped
    // The name as it reads.
    std::string_view name() const { return decodedName ? *decodedName : plainName; }
  };
  struct Slot {  // of a hash table: a hash and where its entry is
    std::uint32_t hash = 0;
    std::uint32_t index = 0;  // + 1; 0 for an empty slot
  };
  struct Values {
    std::vector<Value> list;
    std::vector<Slot> slots;  // by hash, when there are many
  };
  // The lines of a key in the source, after its [key] line, up to the next
  // [key] line. Sections follow each other in the source: one starts where the
  // one before it ends (the first at `firstKeyLine`).
  struct Section {
    std::uint64_t begin = 0;
    std::uint32_t length = 0;
    std::uint32_t next = kNone;  // of the same key
    std::uint32_t key = kNone;
  };
  struct Key {
    Span path;               // below the root, names joined by "\"; empty for the root key
    std::uint32_t hash = 0;  // of the lower-case path
    std::uint32_t firstSection = kNone, lastSection = kNone;
    bool dirty = false;              // a write changed its values
    bool fresh = false;              // made by a write
    std::unique_ptr<Values> values;  // read from its sections, or made here
  };

  // Where each name of a path ends, and the hash of the path up to there.
  struct Step {
    std::uint32_t end;  // a path is shorter than its file, under 2 GB
    std::uint32_t hash;
  };

  std::string root;
  std::shared_ptr<const Source> source;
  std::string added;
  // The keys that lookups and writes have met: made from the source's [key]
  // lines when first asked for (a store of a hundred thousand keys is mostly
  // copied as it stands, and an install asks for a few dozen of them), or by
  // a write.
  std::vector<Key> keys;
  std::vector<Slot> keySlots;    // of `keys`, by the hash of the path
  HugeVector<Section> sections;  // in the order of the source
  // The [key] line of each section: its path (normal, in `lineNames`) and
  // that path's steps (in `lineSteps`).
  struct KeyName {
    std::uint32_t path = 0, length = 0;
    std::uint32_t firstStep = 0, stepCount = 0;
  };
  HugeVector<KeyName> lineKeys;
  HugeString lineNames;
  HugeVector<Step> lineSteps;
  // Paths (lower case) that no [key] line names, nor any of their children:
  // a key read before it is written is looked for in the lines once.
  std::unordered_set<std::string> notInLines;
  // What the source is like, so that what is written matches it: its header was
  // read, its [key] lines are in tree order, its lines end in CR LF, it is
  // UTF-16LE (the source then holds it as UTF-8).
  bool headed = false;
  bool inTreeOrder = true;
  bool crlf = true;
  bool utf16 = false;
  std::uint64_t firstKeyLine = 0;
  std::uint64_t sourceBytes = 0;  // the file's size (a UTF-16 source holds it as UTF-8)
  std::string scratch;
  Window reading;      // for reading a key's lines
  std::string lookup;  // for a value's line read again

  std::string_view view(Span s) const { return std::string_view(added).substr(s.off, s.len); }
  Span add(std::string_view bytes) {
    if (added.size() + bytes.size() > 0xFFFFFFFFu)
      throw std::length_error("registry store too large");
    const Span s{static_cast<std::uint32_t>(added.size()),
                 static_cast<std::uint32_t>(bytes.size())};
    added.append(bytes);
    return s;
  }

  // A value's line as written: its first line's name, kind and data; a Raw
  // value's data runs on to the end of its last continuation line.
  static Resolved parseStored(std::string_view bytes) {
    const std::size_t nl = bytes.find('\n');
    std::string_view first = bytes.substr(0, nl);
    if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
    ValueLine parsed;
    try {
      parsed = parseValueLine(trimRight(trimLeft(first)), 0);
    } catch (const ParseError&) {
      throw SourceChanged{};  // it was read whole when the store was loaded
    }
    Resolved r;
    r.kind = parsed.kind;
    r.dword = parsed.dword;
    r.data = parsed.kind == Kind::Raw
                 ? bytes.substr(static_cast<std::size_t>(parsed.data.data() - bytes.data()))
                 : parsed.data;
    r.nameAsIs = parsed.name.find('\\') == std::string_view::npos;
    if (r.nameAsIs) {
      r.plainName = parsed.name;
    } else {
      r.decodedName = unescape(parsed.name);
      r.nameAsIs = r.decodedName->find_first_of("\\\"") == std::string::npos;
    }
    return r;
  }
  // `v`, with its line read into `buffer` when it is in the source.
  Resolved resolve(const Value& v, std::string& buffer) const {
    if (!v.inSource) return Resolved{view(v.name), v.plainName, v.kind, view(v.data), v.dword, {}};
    buffer.resize(v.name.len);
    if (!source->read(v.name.off, v.name.len, buffer.data())) throw SourceChanged{};
    return parseStored(buffer);
  }
  // Bytes of the source through a window: a megabyte read at a time.
  std::string_view fetch(Window& w, std::uint64_t offset, std::size_t length) const {
    if (offset < w.start || offset + length > w.start + w.size) {
      w.reset(offset);
      const auto want = static_cast<std::size_t>(
          std::min<std::uint64_t>(std::max(kChunk, length), source->size() - offset));
      if (want < length || !source->read(offset, want, w.room(want))) throw SourceChanged{};
      w.size = want;
    }
    return std::string_view(w.bytes + (offset - w.start), length);
  }

  // Whether key path `x` comes before `y` in the tree's order.
  static bool treeLess(std::string_view x, std::string_view y) {
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char p = kOrder[static_cast<unsigned char>(x[i])];
      const unsigned char q = kOrder[static_cast<unsigned char>(y[i])];
      if (p != q) return p < q;
    }
    return x.size() < y.size();
  }

  // The key met already of a normal path, or kNone.
  std::uint32_t keyMet(std::string_view path, std::uint32_t hash) const {
    if (keySlots.empty()) return kNone;
    const std::size_t mask = keySlots.size() - 1;
    for (std::size_t i = spread(hash) & mask;; i = (i + 1) & mask) {
      const Slot slot = keySlots[i];
      if (slot.index == 0) return kNone;
      if (slot.hash == hash && sameIgnoringCase(view(keys[slot.index - 1].path), path))
        return slot.index - 1;
    }
  }

  static void put(std::vector<Slot>& slots, std::uint32_t hash, std::uint32_t index) {
    const std::size_t mask = slots.size() - 1;
    std::size_t j = spread(hash) & mask;
    while (slots[j].index) j = (j + 1) & mask;
    slots[j] = {hash, index + 1};
  }

  void indexKey(std::uint32_t k) {
    if ((keys.size() + 1) * 2 > keySlots.size()) {
      keySlots.assign(std::max<std::size_t>(64, keySlots.size() * 2), {});
      for (std::uint32_t i = 0; i < keys.size(); ++i)
        if (i != k) put(keySlots, keys[i].hash, i);
    }
    put(keySlots, keys[k].hash, k);
  }

  // The key of a path as a caller writes it: kNone when there is none, or
  // with `made`, made (with its parents) where needed.
  std::uint32_t keyAt(std::string_view keyPath, bool* made) {
    const std::string_view path = normalPath(keyPath, scratch);
    steps.clear();
    pathSteps(path, steps);
    return keyOf(path, steps.data(), steps.size(), made);
  }
  std::uint32_t findKey(std::string_view keyPath) { return keyAt(keyPath, nullptr); }

  std::vector<Step> steps;

  // A key named `name` below the key whose path is `above` (empty: the root).
  std::uint32_t newKey(std::string_view name, Span above, std::uint32_t hash, bool* made) {
    // A new key keeps its parent's spelling: "SOFTWARE\ODBC" below an existing
    // "Software" is "Software\ODBC", as in Windows.
    const std::size_t length = above.len + (above.len ? 1 : 0) + name.size();
    if (added.size() + length > 0xFFFFFFFFu) throw std::length_error("registry store too large");
    const Span path{static_cast<std::uint32_t>(added.size()), static_cast<std::uint32_t>(length)};
    added.append(added, above.off, above.len);  // safe from itself
    if (above.len) added += '\\';
    added.append(name);
    const auto k = static_cast<std::uint32_t>(keys.size());
    keys.push_back(Key{path, hash, kNone, kNone, false, true, nullptr});
    indexKey(k);
    if (made) *made = true;
    return k;
  }

  // The steps of a normal path, added to `out`.
  static void pathSteps(std::string_view path, std::vector<Step>& out) {
    std::uint32_t hash = kHashStart;
    for (std::size_t i = 0; i <= path.size();) {
      const std::size_t end = std::min(path.find('\\', i), path.size());
      if (i > 0) hash = hashStep(hash, '\\');
      hash = hashLower(path.substr(i, end - i), hash);
      out.push_back(Step{static_cast<std::uint32_t>(end), hash});
      i = end + 1;
    }
  }

  std::uint32_t ensureKey(std::string_view keyPath, bool* made) {
    bool none = false;
    return keyAt(keyPath, made ? made : &none);
  }

  std::string_view linePath(std::uint32_t i) const {
    return std::string_view(lineNames).substr(lineKeys[i].path, lineKeys[i].length);
  }

  // The key of a normal path, given its steps: one met before, or made from
  // the source's [key] lines, or (with `made`) made new with the parents it
  // lacks. kNone when there is none and `made` is null.
  std::uint32_t keyOf(std::string_view path, const Step* step, std::size_t count, bool* made) {
    // The longest part of the path that is a key met already, looked for
    // from the whole path up (a key's parents are keys).
    std::size_t have = count;
    std::uint32_t key = kNone;
    for (; have > 0; --have) {
      key = keyMet(path.substr(0, step[have - 1].end), step[have - 1].hash);
      if (key != kNone) break;
    }
    if (have == count) return key;
    // A longer part that the source's lines hold: none below a key a write
    // made (the lines would have named it), nor below a part they were
    // found not to hold.
    std::size_t depth = have;
    if ((key == kNone || !keys[key].fresh) && !knownNotInLines(path, step, have, count)) {
      const std::uint32_t deeper = fromLines(path, step, count, depth, key);
      if (deeper != kNone) key = deeper;
      if (depth < count) notInLines.insert(lowerCase(path.substr(0, step[depth].end)));
    }
    if (depth == count || !made) return depth == count ? key : kNone;
    Span above = key != kNone ? keys[key].path : Span{};
    for (std::size_t i = depth; i < count; ++i) {
      const std::size_t from = i ? step[i - 1].end + 1 : 0;
      key = newKey(path.substr(from, step[i].end - from), above, step[i].hash, made);
      above = keys[key].path;
    }
    return key;
  }

  static std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(lower(c));
    return out;
  }
  // Whether a part of `path` longer than `have` names is known not to be in the lines.
  bool knownNotInLines(std::string_view path, const Step* step, std::size_t have,
                       std::size_t count) const {
    if (notInLines.empty()) return false;
    const std::string lowered = lowerCase(path);
    for (std::size_t d = have + 1; d <= count; ++d)
      if (notInLines.contains(lowered.substr(0, step[d - 1].end))) return true;
    return false;
  }

  // The key of the longest part of `path` longer than `depth` names that the
  // source's [key] lines name, as a key or as a parent of one (`known`: the
  // key of its first `depth` names, when there is one): made with the
  // sections of the lines that name it, and `depth` set to its names. kNone
  // when there is none. The lines are looked through in order, comparing the
  // hashes of their paths' steps: a few milliseconds for a hundred thousand
  // lines, once for each key first asked for.
  std::uint32_t fromLines(std::string_view path, const Step* step, std::size_t count,
                          std::size_t& depth, std::uint32_t known) {
    // The first line to name the part of each length (past `depth`).
    std::vector<std::uint32_t> first(count + 1, kNone);
    std::size_t best = depth;
    for (std::uint32_t i = 0; i < lineKeys.size() && best < count; ++i) {
      const KeyName& line = lineKeys[i];
      const std::size_t most = std::min<std::size_t>(line.stepCount, count);
      if (most <= best) continue;
      const Step* theirs = lineSteps.data() + line.firstStep;
      std::size_t m = 0;
      while (m < most && theirs[m].hash == step[m].hash) ++m;
      // The longest of those parts that reads alike (ignoring case).
      for (; m > best; --m) {
        if (sameIgnoringCase(linePath(i).substr(0, theirs[m - 1].end),
                             path.substr(0, step[m - 1].end))) {
          for (std::size_t d = best + 1; d <= m; ++d) first[d] = i;
          best = m;
          break;
        }
      }
    }
    if (best == depth) return kNone;
    // Its spelling: each name as the first line to name that part spells it
    // (a key keeps the spelling it was first given, and its parents theirs).
    std::string spelled(known != kNone ? view(keys[known].path) : std::string_view());
    for (std::size_t d = depth + 1; d <= best; ++d) {
      const Step* theirs = lineSteps.data() + lineKeys[first[d]].firstStep;
      const std::size_t from = d > 1 ? theirs[d - 2].end + 1 : 0;
      if (d > 1) spelled += '\\';
      spelled.append(linePath(first[d]).substr(from, theirs[d - 1].end - from));
    }
    const auto k = static_cast<std::uint32_t>(keys.size());
    keys.push_back(Key{add(spelled), step[best - 1].hash, kNone, kNone, false, false, nullptr});
    indexKey(k);
    const std::string_view whole = path.substr(0, step[best - 1].end);
    for (std::uint32_t i = first[best]; i < lineKeys.size(); ++i) {
      const KeyName& line = lineKeys[i];
      if (line.stepCount != best || lineSteps[line.firstStep + best - 1].hash != keys[k].hash ||
          !sameIgnoringCase(linePath(i), whole))
        continue;
      sections[i].key = k;
      if (keys[k].lastSection != kNone) {
        sections[keys[k].lastSection].next = i;
      } else {
        keys[k].firstSection = i;
      }
      keys[k].lastSection = i;
    }
    depth = best;
    return k;
  }

  std::uint32_t findValue(const Values& values, std::string_view name, std::uint32_t hash) {
    if (values.slots.empty()) {
      for (std::uint32_t v = 0; v < values.list.size(); ++v) {
        const Value& value = values.list[v];
        if (value.hash == hash && sameIgnoringCase(resolve(value, lookup).name(), name)) return v;
      }
      return kNone;
    }
    const std::size_t mask = values.slots.size() - 1;
    for (std::size_t i = spread(hash) & mask;; i = (i + 1) & mask) {
      const Slot slot = values.slots[i];
      if (slot.index == 0) return kNone;
      if (slot.hash == hash &&
          sameIgnoringCase(resolve(values.list[slot.index - 1], lookup).name(), name))
        return slot.index - 1;
    }
  }

  static void put(Values& values, std::uint32_t i) { put(values.slots, values.list[i].hash, i); }
  static constexpr std::size_t kScanned = 8;  // fewer values are looked for one by one
  static void indexValue(Values& values, std::uint32_t v) {
    if (values.list.size() <= kScanned) return;
    if (values.list.size() * 2 > values.slots.size()) {
      values.slots.assign(std::max<std::size_t>(32, values.slots.size() * 2), {});
      for (std::uint32_t i = 0; i < values.list.size(); ++i) put(values, i);
    } else {
      put(values, v);
    }
  }
  // Indexes values read in their order, a name given twice taking the later
  // one's data at the earlier one's place. Names are read again only for
  // equal hashes.
  void indexRead(Values& values) {
    std::vector<Value>& list = values.list;
    const bool indexed = list.size() > kScanned;
    if (indexed) {
      std::size_t size = 32;
      while (size < list.size() * 2) size *= 2;
      values.slots.assign(size, {});
    }
    std::vector<bool> dead;
    std::string mine;
    const auto same = [&](std::uint32_t a, std::uint32_t b) {
      return list[a].hash == list[b].hash &&
             sameIgnoringCase(resolve(list[a], lookup).name(), resolve(list[b], mine).name());
    };
    for (std::uint32_t i = 0; i < list.size(); ++i) {
      std::uint32_t earlier = kNone;
      if (indexed) {
        const std::size_t mask = values.slots.size() - 1;
        for (std::size_t j = spread(list[i].hash) & mask; values.slots[j].index;
             j = (j + 1) & mask) {
          if (values.slots[j].hash == list[i].hash && same(values.slots[j].index - 1, i)) {
            earlier = values.slots[j].index - 1;
            break;
          }
        }
      } else {
        for (std::uint32_t j = 0; j < i && earlier == kNone; ++j)
          if ((dead.empty() || !dead[j]) && same(j, i)) earlier = j;
      }
      if (earlier == kNone) {
        if (indexed) put(values, i);
        continue;
      }
      list[earlier] = list[i];
      dead.resize(list.size());
      dead[i] = true;
    }
    if (dead.empty()) return;
    std::size_t out = 0;
    for (std::size_t i = 0; i < list.size(); ++i)
      if (!dead[i]) list[out++] = list[i];
    list.resize(out);
    if (indexed) {
      values.slots.assign(values.slots.size(), {});
      for (std::uint32_t i = 0; i < list.size(); ++i) put(values, i);
    }
  }

  // The values of a key, read from its sections the first time: where each
  // line is, and a hash of its name; the lines are read again when needed.
  Values& valuesOf(std::uint32_t k) {
    Key& key = keys[k];
    if (key.values) return *key.values;
    auto values = std::make_unique<Values>();
    std::string decoded;
    for (std::uint32_t s = key.firstSection; s != kNone; s = sections[s].next) {
      const Section& section = sections[s];
      // Room for a value every 32 bytes (memory is only used as it fills).
      values->list.reserve(values->list.size() + section.length / 32 + 1);
      const std::uint64_t end = section.begin + section.length;
      LineReader lines(*source, section.begin, end, reading, end);
      std::string_view line;
      while (lines.next(line)) {
        line = trimRight(trimLeft(line));
        if (line.empty() || line[0] == ';') continue;
        ValueLine parsed;
        try {
          parsed = parseValueLine(line, 0);
        } catch (const ParseError&) {
          throw SourceChanged{};  // it was read whole when the store was loaded
        }
        const bool escaped = parsed.name.find('\\') != std::string_view::npos;
        if (escaped) decoded = unescape(parsed.name);
        const std::string_view name = escaped ? std::string_view(decoded) : parsed.name;
        Value v;
        v.inSource = true;
        v.kind = parsed.kind;
        v.hash = hashLower(name);
        const std::uint64_t start = lines.lineStart();
        std::uint64_t stop = lines.offsetOf(line.data() + line.size());
        while (parsed.kind == Kind::Raw && !line.empty() && line.back() == '\\') {
          // Continuation lines: the data runs to the end of the last one.
          if (!lines.next(line)) throw SourceChanged{};
          line = trimRight(line);
          stop = lines.offsetOf(line.data() + line.size());
        }
        v.name = Span{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(stop - start)};
        values->list.push_back(v);
      }
    }
    indexRead(*values);
    key.values = std::move(values);
    return *key.values;
  }

  void load() {
    const std::uint64_t size = source->size();
    if (size > kLargest) throw ParseError{1, "the file is larger than 2 GB"};
    sourceBytes = size;
    std::uint64_t begin = 0;
    Window window;
    {
      std::string head;
      if (!source->append(0, static_cast<std::size_t>(std::min<std::uint64_t>(3, size)), head))
        throw SourceChanged{};
      if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xFF &&
          static_cast<unsigned char>(head[1]) == 0xFE) {
        // UTF-16: read as UTF-8, a megabyte at a time (a pair of surrogates
        // is never cut in two).
        HugeString text;
        std::string chunk;
        text.reserve(static_cast<std::size_t>(size / 2) + 2 * kChunk);  // room to convert a chunk
        for (std::uint64_t at = 2; at + 1 < size;) {
          auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, (size - at) & ~1ull));
          chunk.clear();
          if (!source->append(at, n, chunk)) throw SourceChanged{};
          if (at + n + 1 < size && (static_cast<unsigned char>(chunk[n - 1]) & 0xFC) == 0xD8)
            n -= 2;
          appendUtf16leAsUtf8(text, std::string_view(chunk).substr(0, n));
          at += n;
        }
        source = std::make_shared<TextSource>(std::move(text));
        utf16 = true;
      } else if (head == "\xEF\xBB\xBF") {
        begin = 3;
      }
    }
    LineReader lines(*source, begin, source->size(), window);
    std::string_view line;
    if (!lines.next(line)) return;
    if (trimRight(line) != kHeader && trimRight(line) != "REGEDIT4") {
      // An empty file is an empty store.
      bool empty = blank(line);
      while (empty && lines.next(line)) empty = blank(line);
      if (empty) return;
      throw ParseError{1, std::string("not a registry file (the first line must be \"") +
                              std::string(kHeader) + "\")"};
    }
    headed = true;
    crlf = lines.crlf() || lines.position() == source->size();
    firstKeyLine = source->size();

    scanBody(lines.position(), window);
  }

  // ---- the scan of the lines after the header ----
  // The lines go in pieces of a megabyte or so, that two threads check side by
  // side; the [key] lines of the pieces are taken in the file's order, by the
  // thread that loads, while the other goes on checking.
  static constexpr std::uint64_t kPiece = kChunk;
  static constexpr std::size_t kPiecesForTwo = 4;  // a helper from so many pieces on

  // A [key] line of a piece: its path (normal, in the piece's `names`), the
  // steps of the path, where the line and the line after it start.
  struct KeyLine {
    std::uint64_t start = 0, after = 0;
    std::uint32_t path = 0, length = 0;
    std::uint32_t firstStep = 0, stepCount = 0;
    int line = 0;  // in the piece, from 1
  };
  struct Piece {
    int lines = 0;
    int valueBeforeKey = 0;           // its first value line before a [key] line; 0: none
    std::optional<ParseError> error;  // its first damaged line (line in the piece)
    std::exception_ptr failure;       // the source changed, or memory ran out
    std::string names;
    std::vector<Step> steps;
    std::vector<KeyLine> keys;
    bool done = false;  // under the scan's lock

    // A piece that holds nothing, with this one's lists (emptied) for a later
    // piece: memory that has been used once costs no page faults.
    Piece emptied() {
      Piece empty;
      empty.names = std::move(names);
      empty.steps = std::move(steps);
      empty.keys = std::move(keys);
      empty.names.clear();
      empty.steps.clear();
      empty.keys.clear();
      return empty;
    }
  };

  // Room for the [key] lines of a body of `bytes`, their paths and the paths'
  // steps, as many as its first piece holds for its size and a quarter more (at
  // most as many as a file of short keys holds): never copied to grow (a page
  // first used costs as much as checking some kilobytes of lines), and huge
  // pages only for what fills megabytes. Memory is only used as it fills.
  void reserveLines(const Piece& first, std::uint64_t bytes) {
    const double scale = 1.25 * static_cast<double>(bytes) /
                         static_cast<double>(std::min<std::uint64_t>(kPiece, bytes));
    const auto room = [scale](std::size_t n, std::uint64_t most) {
      return static_cast<std::size_t>(
          std::min(static_cast<double>(n) * scale, static_cast<double>(most)) + 16);
    };
    sections.reserve(room(first.keys.size(), bytes / 40));
    lineKeys.reserve(sections.capacity());
    lineNames.reserve(room(first.names.size(), bytes / 8));
    lineSteps.reserve(room(first.steps.size(), bytes / 64));
  }

  static bool endsInBackslash(std::string_view line) {
    line = trimRight(line);
    return !line.empty() && line.back() == '\\';
  }

  // Checks the lines of piece `i` of the lines from `body`. A piece starts
  // after the first line that starts at or after body + i * kPiece and does not
  // end in "\" (a value's data goes on only after a line that does), and ends
  // with the first such line at or after body + (i + 1) * kPiece: pieces meet
  // without a gap or an overlap, and never cut a value in two.
  void scanPiece(Piece& piece, std::size_t i, std::uint64_t body, Window& window) const {
    const std::uint64_t from = body + i * kPiece, to = from + kPiece;
    LineReader lines(*source, i ? from - 1 : from, source->size(), window, to + 4096);
    std::string_view line;
    if (i > 0) {
      // The end of the line before `from`, then the lines up to the first
      // that does not end in "\". When that one starts at `to` or later (a
      // line longer than a piece came before), it ends the next piece too:
      // this one is empty.
      if (!lines.next(line)) return;
      do {
        if (!lines.next(line)) return;
      } while (endsInBackslash(line));
      if (lines.lineStart() >= to) return;
    }
    bool last = false;  // the line read ends the piece
    const auto next = [&] {
      if (last || !lines.next(line)) return false;
      ++piece.lines;
      last = lines.lineStart() >= to && !endsInBackslash(line);
      return true;
    };
    std::string buffer;
    bool keyed = false;
    while (next()) {
      const int lineNo = piece.lines;
      line = trimRight(trimLeft(line));
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        if (line.size() < 2 || line.back() != ']')
          throw ParseError{lineNo, "a key line must end in \"]\""};
        if (line[1] == '-')
          throw ParseError{lineNo, "a key deletion does not belong in a stored registry"};
        const std::string_view full = line.substr(1, line.size() - 2);
        const std::string_view head = full.substr(0, full.find('\\'));
        if (!sameIgnoringCase(head, root))
          throw ParseError{lineNo, "key \"" + std::string(full) + "\" is not under " + root};
        const std::string_view path =
            normalPath(full.substr(std::min(head.size() + 1, full.size())), buffer);
        KeyLine k;
        k.start = lines.lineStart();
        k.after = lines.position();
        k.path = static_cast<std::uint32_t>(piece.names.size());
        k.length = static_cast<std::uint32_t>(path.size());
        piece.names.append(path);
        k.firstStep = static_cast<std::uint32_t>(piece.steps.size());
        pathSteps(path, piece.steps);
        k.stepCount = static_cast<std::uint32_t>(piece.steps.size() - k.firstStep);
        k.line = lineNo;
        piece.keys.push_back(k);
        keyed = true;
        continue;
      }
      if (!keyed && !piece.valueBeforeKey) piece.valueBeforeKey = lineNo;
      if (plainValueLine(line)) continue;
      const ValueLine value = parseValueLine(line, lineNo);
      if (value.continues) {
        do {
          if (!next())
            throw ParseError{lineNo, "the value's data ends in \"\\\" at the end of the file"};
        } while (endsInBackslash(line));
      }
    }
  }

  void scanBody(std::uint64_t body, Window& window) {
    const std::uint64_t size = source->size();
    const auto count =
        body < size ? static_cast<std::size_t>((size - body + kPiece - 1) / kPiece) : 0;
    std::vector<Piece> pieces(count);
    std::mutex lock;
    std::condition_variable ready;
    std::atomic<std::size_t> nextPiece{0};
    std::atomic<bool> stop{false};
    std::vector<Piece> spare;  // the pieces taken, emptied, for the pieces to come
    const auto check = [&](std::size_t i, Window& w) {
      {
        std::lock_guard held(lock);
        if (!spare.empty()) {
          pieces[i] = std::move(spare.back());
          spare.pop_back();
        }
      }
      try {
        scanPiece(pieces[i], i, body, w);
      } catch (const ParseError& e) {
        pieces[i].error = e;
        stop = true;  // no need to check what follows
      } catch (...) {
        pieces[i].failure = std::current_exception();
        stop = true;
      }
      {
        std::lock_guard held(lock);
        pieces[i].done = true;
      }
      ready.notify_all();
    };
    struct Helper {
      std::atomic<bool>& stop;
      std::thread thread;
      ~Helper() {
        stop = true;
        if (thread.joinable()) thread.join();
      }
    } helper{stop, {}};
    if (count >= kPiecesForTwo && std::thread::hardware_concurrency() > 1) {
      try {
        helper.thread = std::thread([&] {
          Window own;
          for (std::size_t i; !stop && (i = nextPiece++) < count;) check(i, own);
        });
      } catch (const std::system_error&) {
        // No thread to be had: this one checks every piece.
      }
    }

    int lineNo = 1;  // the header's
    std::uint32_t section = kNone;
    const auto endSection = [&](std::uint64_t at, int line) {
      if (section == kNone) return;
      const std::uint64_t length = at - sections[section].begin;
      if (length > kLargest) throw ParseError{line, "a key with more than 2 GB of values"};
      sections[section].length = static_cast<std::uint32_t>(length);
    };
    // The [key] lines of a checked piece, in order; its first damaged line.
    const auto take = [&](Piece& piece) {
      if (piece.failure) std::rethrow_exception(piece.failure);
      if (&piece == &pieces[0]) reserveLines(piece, size - body);
      if (piece.valueBeforeKey && section == kNone &&
          (!piece.error || piece.valueBeforeKey <= piece.error->line))
        throw ParseError{lineNo + piece.valueBeforeKey, "a value before the first key"};
      if (lineNames.size() + piece.names.size() > 0xFFFFFFFFu)
        throw std::length_error("registry store too large");
      const auto names = static_cast<std::uint32_t>(lineNames.size());
      const auto firstStep = static_cast<std::uint32_t>(lineSteps.size());
      lineNames += std::string_view(piece.names);
      lineSteps.insert(lineSteps.end(), piece.steps.begin(), piece.steps.end());
      for (const KeyLine& k : piece.keys) {
        if (section == kNone) firstKeyLine = k.start;
        endSection(k.start, lineNo + k.line);
        section = static_cast<std::uint32_t>(sections.size());
        sections.push_back(Section{k.after, 0, kNone, kNone});
        lineKeys.push_back(KeyName{names + k.path, k.length, firstStep + k.firstStep, k.stepCount});
        inTreeOrder =
            inTreeOrder && (section == 0 || treeLess(linePath(section - 1), linePath(section)));
      }
      if (piece.error) throw ParseError{lineNo + piece.error->line, piece.error->what};
      lineNo += piece.lines;
      Piece empty = piece.emptied();
      std::lock_guard held(lock);
      spare.push_back(std::move(empty));
    };
    const auto done = [&](std::size_t i) {
      std::lock_guard held(lock);
      return pieces[i].done;
    };
    std::size_t taken = 0;
    for (;;) {
      while (taken < count && done(taken)) take(pieces[taken++]);
      if (stop) break;
      const std::size_t i = nextPiece++;
      if (i >= count) break;
      check(i, window);
    }
    while (taken < count) {
      {
        std::unique_lock held(lock);
        ready.wait(held, [&] { return pieces[taken].done; });
      }
      take(pieces[taken++]);
    }
    endSection(size, lineNo);
  }

  std::string_view eol() const { return crlf ? "\r\n" : "\n"; }

  // The line of a value a write set.
  void writeValue(std::string& out, const Value& v) const {
    const std::string_view name = view(v.name);
    if (name.empty()) {
      out += "@=";
    } else {
      out += '"';
      if (v.plainName) {
        out += name;
      } else {
        appendEscaped(out, name);
      }
      out += "\"=";
    }
    if (v.kind == Kind::Dword) {
      appendDword(out, v.dword);
    } else {
      out += '"';
      out += view(v.data);  // escaped when it was set
      out += '"';
    }
    out += eol();
  }
  // A key no source line holds: its [key] line and its values, after an empty line.
  void writeKey(Output& out, std::uint32_t k) const;
  void changedKeys(std::vector<std::uint32_t>& fresh, std::vector<std::uint32_t>& dirty) const;
  // The lines of section `s` of a key a write changed, after its [key] line:
  // each line as it stands, but a changed value's new line in place of its old
  // lines, and the key's new values after its last value line.
  void writeChanged(Output& out, std::uint32_t s, Window& window) const;
};

namespace {
// What a fold writes, handed on in pieces of some hundred kilobytes: UTF-8 as
// it is, or as UTF-16LE after its byte order mark. Knows how the text written so
// far ends.
class Output {
 public:
  // `after`: the text that the output goes on from (its last bytes tell where
  // a line ends); a whole file's output starts with the byte order mark.
  Output(const std::function<void(std::string_view)>& write, bool utf16,
         std::optional<std::string_view> after = std::nullopt)
      : write_(write), utf16_(utf16) {
    if (after) {
      tail_ = after->substr(after->size() - std::min<std::size_t>(3, after->size()));
    } else if (utf16_) {
      write_("\xFF\xFE");
    }
    text_.reserve(kPiece + 4096);
  }
  void add(std::string_view bytes) {
    if (bytes.empty()) return;
    tail_ =
        (tail_ + std::string(bytes.substr(bytes.size() - std::min<std::size_t>(3, bytes.size()))));
    tail_.erase(0, tail_.size() - std::min<std::size_t>(3, tail_.size()));
    if (!utf16_ && bytes.size() >= kPiece) {
      pass(true);
      write_(bytes);
      return;
    }
    text_ += bytes;
    if (text_.size() >= kPiece) pass(false);
  }
  // A line end, unless the text ends in one (or is empty).
  void endLine(std::string_view eol) {
    if (!tail_.empty() && tail_.back() != '\n') add(eol);
  }
  // An empty line, unless the text ends in one.
  void emptyLine(std::string_view eol) {
    endLine(eol);
    if (!tail_.ends_with("\n\n") && !tail_.ends_with("\n\r\n")) add(eol);
  }
  void finish() { pass(true); }

 private:
  static constexpr std::size_t kPiece = 256 * 1024;
  // Hands on what is gathered (all, or up to a character cut off at its end).
  void pass(bool all) {
    if (!utf16_) {
      if (!text_.empty()) write_(text_);
      text_.clear();
      return;
    }
    wide_.clear();
    std::size_t taken = appendUtf8AsUtf16le(wide_, text_);
    while (all && taken < text_.size()) {
      wide_ += text_[taken++];  // a cut character at the very end: its bytes as they are
      wide_ += '\0';
    }
    if (!wide_.empty()) write_(wide_);
    text_.erase(0, taken);
  }

  const std::function<void(std::string_view)>& write_;
  bool utf16_;
  std::string text_, wide_, tail_;
};
}  // namespace

void RegistryHive::Impl::writeKey(Output& out, std::uint32_t k) const {
  std::string text = "[" + root;
  if (keys[k].path.len) {
    text += '\\';
    text += view(keys[k].path);
  }
  text += ']';
  text += eol();
  if (keys[k].values)
    for (const Value& v : keys[k].values->list) writeValue(text, v);
  text += eol();
  out.emptyLine(eol());
  out.add(text);
}

std::shared_ptr<const RegistryHive::Source> RegistryHive::fileSource(int fd, std::uint64_t size) {
  return std::make_shared<FileSource>(fd, size);
}

RegistryHive::RegistryHive(std::string rootName) : impl_(std::make_unique<Impl>()) {
  impl_->root = std::move(rootName);
}
RegistryHive::RegistryHive(RegistryHive&&) noexcept = default;
RegistryHive& RegistryHive::operator=(RegistryHive&&) noexcept = default;
RegistryHive::~RegistryHive() = default;

RegistryHive RegistryHive::load(std::shared_ptr<const Source> source, std::string rootName) {
  RegistryHive hive(std::move(rootName));
  hive.impl_->source = std::move(source);
  hive.impl_->load();
  return hive;
}

void RegistryHive::Impl::writeChanged(Output& out, std::uint32_t s, Window& window) const {
  const Section& section = sections[s];
  const Key& key = keys[section.key];
  const std::vector<Value>& list = key.values->list;    // a write changed them: they are read
  std::unordered_map<std::uint64_t, std::uint32_t> at;  // where each value's line starts
  for (std::uint32_t i = 0; i < list.size(); ++i) {
    if (list[i].inSource) {
      at.emplace(list[i].name.off, i);
    } else if (list[i].from.off != kNone) {
      at.emplace(list[i].from.off, i);
    }
  }
  const bool last = key.lastSection == s;
  std::string trail;  // in the last section: lines after the last value so far
  std::string made;
  bool continued = false;  // the line before ends in "\": this one goes on with it
  std::uint64_t skipTo = 0;
  LineReader lines(*source, section.begin, section.begin + section.length, window);
  std::string_view line;
  while (lines.next(line)) {
    const std::uint64_t start = lines.lineStart();
    if (start < skipTo) continue;  // the rest of a changed value's old lines
    const std::string_view raw(line.data(), static_cast<std::size_t>(lines.position() - start));
    const std::string_view text = trimRight(trimLeft(line));
    if (continued) {
      continued = !text.empty() && text.back() == '\\';
      out.add(raw);
      continue;
    }
    if (text.empty() || text[0] == ';') {
      if (last) {
        trail += raw;
      } else {
        out.add(raw);
      }
      continue;
    }
    out.add(trail);
    trail.clear();
    const auto found = at.find(start);
    if (found != at.end() && !list[found->second].inSource) {
      const Value& v = list[found->second];
      made.clear();
      writeValue(made, v);
      out.endLine(eol());
      out.add(made);
      skipTo = v.from.off + v.from.len;
      continue;
    }
    // A value as it stands, or one given again further on (which it reads as).
    out.add(raw);
    continued = text.back() == '\\';
  }
  if (!last) return;
  for (const Value& v : list) {
    if (v.inSource || v.from.off != kNone) continue;
    made.clear();
    writeValue(made, v);
    out.endLine(eol());
    out.add(made);
  }
  out.add(trail);
}

// Keys without lines in the source that a write made or gave values, in tree
// order; and the sections of keys in the source that a write changed.
void RegistryHive::Impl::changedKeys(std::vector<std::uint32_t>& fresh,
                                     std::vector<std::uint32_t>& dirty) const {
  for (std::uint32_t k = 0; k < keys.size(); ++k) {
    const Key& key = keys[k];
    const bool hasValues = key.values && !key.values->list.empty();
    if (key.firstSection == kNone && (key.fresh || key.dirty) && (key.path.len || hasValues))
      fresh.push_back(k);
    if (key.firstSection != kNone && key.dirty)
      for (std::uint32_t s = key.firstSection; s != kNone; s = sections[s].next) dirty.push_back(s);
  }
  std::sort(fresh.begin(), fresh.end(), [this](std::uint32_t a, std::uint32_t b) {
    return treeLess(view(keys[a].path), view(keys[b].path));
  });
  std::sort(dirty.begin(), dirty.end());
}

std::optional<std::string> RegistryHive::appendix() const {
  const Impl& h = *impl_;
  if (!h.headed || (h.utf16 && h.sourceBytes % 2 != 0)) return std::nullopt;
  std::vector<std::uint32_t> fresh, dirty;
  h.changedKeys(fresh, dirty);
  if (!dirty.empty()) return std::nullopt;
  std::string bytes, last;
  const std::uint64_t size = h.source->size();
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(3, size));
  if (!h.source->append(size - n, n, last)) throw SourceChanged{};
  const std::function<void(std::string_view)> write = [&bytes](std::string_view b) { bytes += b; };
  Output out(write, h.utf16, last);
  for (std::uint32_t k : fresh) h.writeKey(out, k);
  out.finish();
  return bytes;
}

void RegistryHive::serialize(const std::function<void(std::string_view)>& write,
                             bool madeAtEnd) const {
  Impl& h = *impl_;
  Output out(write, h.utf16);
  const std::string_view eol = h.eol();

  // Keys without lines in the source that a write made or gave values: after
  // the key before them in tree order when the source is in tree order (and
  // not `madeAtEnd`), else at the end, in tree order among themselves.
  std::vector<std::uint32_t> fresh, dirty;
  h.changedKeys(fresh, dirty);
  auto after = [&h, madeAtEnd](std::uint32_t k) -> std::uint32_t {  // kNone: before the first
    if (!h.inTreeOrder || madeAtEnd) return static_cast<std::uint32_t>(h.sections.size()) - 1;
    const auto it = std::upper_bound(
        h.sections.begin(), h.sections.end(), k, [&h](std::uint32_t key, const Impl::Section& s) {
          return h.treeLess(h.view(h.keys[key].path),
                            h.linePath(static_cast<std::uint32_t>(&s - h.sections.data())));
        });
    return static_cast<std::uint32_t>(it - h.sections.begin()) - 1;
  };

  if (!h.headed) {
    out.add(kHeader);
    out.add(eol);
    for (std::uint32_t k : fresh) h.writeKey(out, k);
    out.finish();
    return;
  }
  // Everything else is copied as it stands, a megabyte at a time.
  Window window;
  std::uint64_t copied = 0;
  auto copyTo = [&](std::uint64_t end) {
    while (copied < end) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - copied));
      out.add(h.fetch(window, copied, n));
      copied += n;
    }
  };
  auto sectionEnd = [&h](std::uint32_t s) { return h.sections[s].begin + h.sections[s].length; };
  std::size_t f = 0, d = 0;
  copyTo(h.firstKeyLine);
  while (f < fresh.size() && after(fresh[f]) == Impl::kNone) h.writeKey(out, fresh[f++]);
  std::uint32_t freshAfter = f < fresh.size() ? after(fresh[f]) : Impl::kNone;
  while (d < dirty.size() || f < fresh.size()) {
    const std::uint32_t s = d < dirty.size() ? std::min(dirty[d], freshAfter) : freshAfter;
    if (d < dirty.size() && dirty[d] == s) {
      copyTo(h.sections[s].begin);  // up to its [key] line, with it
      h.writeChanged(out, s, window);
      copied = sectionEnd(s);
      ++d;
    }
    if (f < fresh.size() && freshAfter == s) {
      copyTo(sectionEnd(s));
      while (f < fresh.size() && after(fresh[f]) == s) h.writeKey(out, fresh[f++]);
      freshAfter = f < fresh.size() ? after(fresh[f]) : Impl::kNone;
    }
  }
  copyTo(h.source->size());
  out.finish();
}

bool RegistryHive::keyExists(std::string_view keyPath) const {
  std::string buffer;
  return normalPath(keyPath, buffer).empty() || impl_->findKey(keyPath) != Impl::kNone;
}

Result<std::optional<RegValue>> RegistryHive::value(std::string_view keyPath,
                                                    std::string_view valueName,
                                                    const std::string& file) const {
  Impl& h = *impl_;
  const std::uint32_t k = h.findKey(keyPath);
  if (k == Impl::kNone) return std::optional<RegValue>();
  const Impl::Values& values = h.valuesOf(k);
  const std::uint32_t found = h.findValue(values, valueName, hashLower(valueName));
  if (found == Impl::kNone) return std::optional<RegValue>();
  const Impl::Resolved v = h.resolve(values.list[found], h.lookup);
  switch (v.kind) {
    case Kind::String:
      return std::optional<RegValue>(RegValue::string(unescape(v.data)));
    case Kind::Dword:
      return std::optional<RegValue>(RegValue::number(v.dword));
    case Kind::Raw:
      break;
  }
  // Strings of type 1 (REG_SZ) and 2 (REG_EXPAND_SZ) and numbers of type 4
  // written as hex are understood too.
  const std::string_view data = v.data;
  std::string type(data.substr(0, data.find(':')));
  for (char& c : type) c = static_cast<char>(lower(c));
  if (auto bytes = hexBytes(data)) {
    if (type == "hex(1)" || type == "hex(2)") {
      std::string text = utf16leToUtf8(*bytes);
      const auto nul = text.find('\0');
      if (nul != std::string::npos) text.resize(nul);
      return std::optional<RegValue>(RegValue::string(std::move(text)));
    }
    if (type == "hex(4)" && bytes->size() == 4) {
      const auto* b = reinterpret_cast<const unsigned char*>(bytes->data());
      return std::optional<RegValue>(RegValue::number(b[0] | (b[1] << 8) | (b[2] << 16) |
                                                      (static_cast<std::uint32_t>(b[3]) << 24)));
    }
  }
  std::string where = file + ": [" + h.root;
  if (h.keys[k].path.len) where += "\\" + std::string(h.view(h.keys[k].path));
  return Status::failure(where + "]: value \"" + std::string(v.name()) +
                         "\" has data of a type that cannot be read as a string or number (" +
                         type + ")");
}

std::vector<std::string> RegistryHive::valueNames(std::string_view keyPath) const {
  std::vector<std::string> names;
  const std::uint32_t k = impl_->findKey(keyPath);
  if (k == Impl::kNone) return names;
  Impl& h = *impl_;
  for (const Impl::Value& v : h.valuesOf(k).list) names.emplace_back(h.resolve(v, h.lookup).name());
  return names;
}

bool RegistryHive::createKey(std::string_view keyPath) {
  bool added = false;
  impl_->ensureKey(keyPath, &added);
  return added;
}

bool RegistryHive::setValue(std::string_view keyPath, std::string_view valueName,
                            const RegValue& value) {
  Impl& h = *impl_;
  bool changed = false;
  const std::uint32_t k = h.ensureKey(keyPath, &changed);
  Impl::Values& values = h.valuesOf(k);
  const std::uint32_t hash = hashLower(valueName);
  const std::uint32_t found = h.findValue(values, valueName, hash);
  Impl::Span keepName;  // an existing value keeps the case it was made with
  bool keepPlain = true;
  if (found != Impl::kNone) {
    const Impl::Resolved old = h.resolve(values.list[found], h.lookup);
    const bool same = value.type == ValueType::Dword
                          ? old.kind == Kind::Dword && old.dword == value.dword
                          : old.kind == Kind::String && unescape(old.data) == value.text;
    if (same) return changed;
    keepPlain = old.nameAsIs;
    keepName = values.list[found].inSource ? h.add(old.name()) : values.list[found].name;
  }
  Impl::Value v;
  v.hash = hash;
  if (value.type == ValueType::Dword) {
    v.kind = Kind::Dword;
    v.dword = value.dword;
  } else {
    std::string escaped;
    appendEscaped(escaped, value.text);
    v.kind = Kind::String;
    v.data = h.add(escaped);
  }
  if (found != Impl::kNone) {
    v.name = keepName;
    v.plainName = keepPlain;
    const Impl::Value& old = values.list[found];
    v.from = old.inSource ? old.name : old.from;  // its new line goes where the old one is
    values.list[found] = v;
  } else {
    v.name = h.add(valueName);
    v.plainName = valueName.find_first_of("\\\"") == std::string_view::npos;
    values.list.push_back(v);
    Impl::indexValue(values, static_cast<std::uint32_t>(values.list.size() - 1));
  }
  h.keys[k].dirty = true;
  return true;
}

}  // namespace pm::posix
