#include "tools/cabarc/cabinetReader.h"
#include "tools/cabarc/cabinetSet.h"
#include "tools/cabarc/memberNames.h"

#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

namespace pm::cabarc {
namespace {

// Names handed to libmspack that are not host paths (host paths are absolute).
constexpr const char* kMemoryName = "memory:cabinet";
constexpr const char* kDiscardName = "discard:";
constexpr const char* kOutputName = "output:";  // the file the caller made (Sys::output)

struct Sys;

// Our side of libmspack's opaque mspack_file.
struct SysFile {
  enum class Kind { Host, Memory, Discard, Output } kind = Kind::Host;
  Sys* sys = nullptr;
  // Host: the cabinet, read at `pos` through `buffer` (which holds its bytes
  // from `bufferAt`). libmspack reads a member's header, then seeks back over
  // what it read past the name, and asks where it is: all within the buffer,
  // without a system call (the C library's streams make one for each).
  // Output: the file, written straight through.
  int fd = -1;
  std::size_t pos = 0;  // Memory, Host: where the next read starts
  off_t size = 0;       // Host
  std::unique_ptr<char[]> buffer;
  std::size_t bufferAt = 0, buffered = 0;
};
constexpr std::size_t kReadBuffer = 32 * 1024;  // a cabinet's data blocks are up to 32 KiB

// Up to `bytes` of a host file from `at`; -1 on error.
ssize_t readAt(int fd, char* into, std::size_t bytes, std::size_t at) {
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t n = ::pread(fd, into + got, bytes - got, static_cast<off_t>(at + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// libmspack's I/O and allocation callbacks, with the context they need. The
// mspack_system must come first: libmspack hands the address back as `self`.
struct Sys {
  mspack_system base{};
  std::span<const unsigned char> memory;
  int output = -1;  // the descriptor that kOutputName opens, once
  // Called with the output's descriptor before it is closed.
  std::function<void(int)> written;
  std::vector<std::string> warnings;
  // The first failed write or close of an output file, in words ("No space
  // left on device"); libmspack's close callback cannot report one itself.
  std::string writeError;
};

void noteWriteError(Sys* sys, int err) {
  if (sys && sys->writeError.empty()) sys->writeError = std::strerror(err);
}

SysFile* fileOf(mspack_file* f) {
  return reinterpret_cast<SysFile*>(f);
}

mspack_file* sysOpen(mspack_system* self, const char* name, int mode) {
  Sys* sys = reinterpret_cast<Sys*>(self);
  auto* f = new SysFile;
  f->sys = sys;
  if (std::strcmp(name, kMemoryName) == 0) {
    if (mode != MSPACK_SYS_OPEN_READ) {
      delete f;
      return nullptr;
    }
    f->kind = SysFile::Kind::Memory;
  } else if (std::strcmp(name, kDiscardName) == 0) {
    f->kind = SysFile::Kind::Discard;
  } else if (std::strcmp(name, kOutputName) == 0) {
    // Output files are made by the caller, exclusively: never one of ours by name.
    f->kind = SysFile::Kind::Output;
    f->fd = std::exchange(sys->output, -1);
    if (mode != MSPACK_SYS_OPEN_WRITE || f->fd < 0) {
      if (f->fd >= 0) ::close(f->fd);
      delete f;
      return nullptr;
    }
  } else {
    // Only the cabinet is opened by name, and only to be read.
    struct stat st {};
    if (mode == MSPACK_SYS_OPEN_READ) f->fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (f->fd < 0 || ::fstat(f->fd, &st) != 0) {
      if (f->fd >= 0) ::close(f->fd);
      delete f;
      return nullptr;
    }
    f->size = st.st_size;
    f->buffer = std::make_unique_for_overwrite<char[]>(kReadBuffer);
  }
  return reinterpret_cast<mspack_file*>(f);
}

void sysClose(mspack_file* file) {
  SysFile* f = fileOf(file);
  if (!f) return;
  if (f->kind == SysFile::Kind::Host) {
    ::close(f->fd);
    delete f;
    return;
  }
  // A close can still report a write that failed (a quota, a network file system).
  if (f->fd >= 0 && f->sys->writeError.empty() && f->sys->written) f->sys->written(f->fd);
  if (f->fd >= 0 && ::close(f->fd) != 0) noteWriteError(f->sys, errno);
  delete f;
}

int sysRead(mspack_file* file, void* buffer, int bytes) {
  SysFile* f = fileOf(file);
  if (!f || bytes < 0) return -1;
  switch (f->kind) {
    case SysFile::Kind::Host: {
      char* to = static_cast<char*>(buffer);
      auto wanted = static_cast<std::size_t>(bytes);
      std::size_t done = 0;
      while (done < wanted) {
        if (f->pos >= f->bufferAt && f->pos < f->bufferAt + f->buffered) {
          const std::size_t from = f->pos - f->bufferAt;
          const std::size_t n = std::min(wanted - done, f->buffered - from);
          std::memcpy(to + done, f->buffer.get() + from, n);
          done += n;
          f->pos += n;
          continue;
        }
        if (wanted - done >= kReadBuffer) {  // a large read needs no buffer
          const ssize_t n = readAt(f->fd, to + done, wanted - done, f->pos);
          if (n < 0) return -1;
          done += static_cast<std::size_t>(n);
          f->pos += static_cast<std::size_t>(n);
          break;
        }
        const ssize_t n = readAt(f->fd, f->buffer.get(), kReadBuffer, f->pos);
        if (n < 0) return -1;
        f->bufferAt = f->pos;
        f->buffered = static_cast<std::size_t>(n);
        if (n == 0) break;  // the end of the file
      }
      return static_cast<int>(done);
    }
    case SysFile::Kind::Memory: {
      const auto& mem = f->sys->memory;
      if (f->pos >= mem.size()) return 0;
      const std::size_t n = std::min(static_cast<std::size_t>(bytes), mem.size() - f->pos);
      std::memcpy(buffer, mem.data() + f->pos, n);
      f->pos += n;
      return static_cast<int>(n);
    }
    case SysFile::Kind::Discard:
    case SysFile::Kind::Output:
      return -1;
  }
  return -1;
}

int sysWrite(mspack_file* file, void* buffer, int bytes) {
  SysFile* f = fileOf(file);
  if (!f || bytes < 0) return -1;
  switch (f->kind) {
    case SysFile::Kind::Output: {
      // libmspack hands whole decompressed frames (up to 32 KiB): no buffer needed.
      const char* at = static_cast<const char*>(buffer);
      for (int left = bytes; left > 0;) {
        const ssize_t n = ::write(f->fd, at, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          noteWriteError(f->sys, n < 0 ? errno : ENOSPC);
          return -1;
        }
        at += n;
        left -= static_cast<int>(n);
      }
      return bytes;
    }
    case SysFile::Kind::Discard:
      return bytes;
    case SysFile::Kind::Host:
    case SysFile::Kind::Memory:
      return -1;
  }
  return -1;
}

int sysSeek(mspack_file* file, off_t offset, int mode) {
  SysFile* f = fileOf(file);
  if (!f) return -1;
  switch (f->kind) {
    case SysFile::Kind::Host:
    case SysFile::Kind::Memory: {
      const auto size =
          f->kind == SysFile::Kind::Host ? f->size : static_cast<off_t>(f->sys->memory.size());
      off_t base = 0;
      if (mode == MSPACK_SYS_SEEK_CUR) base = static_cast<off_t>(f->pos);
      if (mode == MSPACK_SYS_SEEK_END) base = size;
      if (offset < -base) return -1;
      // Seeking past the end is allowed, as for a host file; reads there give 0.
      f->pos = static_cast<std::size_t>(base + offset);
      return 0;
    }
    case SysFile::Kind::Discard:
    case SysFile::Kind::Output:
      return -1;
  }
  return -1;
}

off_t sysTell(mspack_file* file) {
  SysFile* f = fileOf(file);
  if (!f) return -1;
  return static_cast<off_t>(f->pos);
}

void sysMessage(mspack_file* file, const char* format, ...) {
  SysFile* f = fileOf(file);
  if (!f || !f->sys) return;
  char buf[512];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (f->sys->warnings.size() < 100) f->sys->warnings.emplace_back(buf);
}

void* sysAlloc(mspack_system*, std::size_t bytes) {
  return std::malloc(bytes);
}
void sysFree(void* p) {
  std::free(p);
}
void sysCopy(void* src, void* dest, std::size_t bytes) {
  std::memmove(dest, src, bytes);
}

// Stored names are in the ANSI code page unless the UTF-8 attribute is set.
std::string toUtf8(const char* raw, bool isUtf8) {
  return isUtf8 ? std::string(raw) : cp1252ToUtf8(raw);
}

std::optional<DateTime> storedTime(const mscabd_file& f) {
  const int y = f.date_y, mo = f.date_m, d = f.date_d, h = f.time_h, mi = f.time_m, s = f.time_s;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
      s > 59)
    return std::nullopt;
  const DateTime t = DateTime::fromCivil(y, mo, d, h, mi, s);
  if (t.date() != CivilDate{y, mo, d}) return std::nullopt;  // 31 February and the like
  return t;
}

bool startsWithSignature(Sys& sys, const std::string& name) {
  mspack_file* f = sysOpen(&sys.base, name.c_str(), MSPACK_SYS_OPEN_READ);
  if (!f) return false;
  char sig[4] = {};
  const int n = sysRead(f, sig, 4);
  sysClose(f);
  return n == 4 && std::memcmp(sig, "MSCF", 4) == 0;
}

}  // namespace

struct CabinetReader::Impl {
  Sys sys;
  mscab_decompressor* cabd = nullptr;
  mscabd_cabinet* cab = nullptr;
  std::string name;  // libmspack keeps a pointer to the cabinet's name
  std::vector<mscabd_file*> files;
  std::vector<CabinetMember> members;
  bool failed = false;  // the last extraction failed

  // Decompresses member `index` into the descriptor `out` (or throws it away),
  // closing the descriptor.
  Status extract(std::size_t index, OutputHandle out) {
    if (failed) {
      // libmspack keeps a failed decompression's error for the members after it
      // in the same folder: start the cabinet afresh, so that each member
      // succeeds or fails on its own.
      cabd->close(cabd, cab);
      cab = cabd->open(cabd, name.c_str());
      if (!cab) {
        if (out >= 0) ::close(static_cast<int>(out));
        return Status::failure(describeMspackError(cabd->last_error(cabd)));
      }
      std::size_t i = 0;
      for (mscabd_file* f = cab->files; f && i < files.size(); f = f->next) files[i++] = f;
      failed = false;
    }
    sys.writeError.clear();
    sys.output = out >= 0 ? static_cast<int>(out) : -1;
    const int err = cabd->extract(cabd, files[index], out >= 0 ? kOutputName : kDiscardName);
    // libmspack may fail before it opens the output.
    if (sys.output >= 0) ::close(std::exchange(sys.output, -1));
    failed = err != MSPACK_ERR_OK || !sys.writeError.empty();
    // A write or close that failed makes the member incomplete, whatever
    // libmspack made of it.
    if (!sys.writeError.empty()) return Status::failure("write error: " + sys.writeError);
    if (err != MSPACK_ERR_OK) return Status::failure(describeMspackError(err));
    return {};
  }

  Impl() {
    sys.base.open = sysOpen;
    sys.base.close = sysClose;
    sys.base.read = sysRead;
    sys.base.write = sysWrite;
    sys.base.seek = sysSeek;
    sys.base.tell = sysTell;
    sys.base.message = sysMessage;
    sys.base.alloc = sysAlloc;
    sys.base.free = sysFree;
    sys.base.copy = sysCopy;
    sys.base.null_ptr = nullptr;
  }
  // Which members a neighbour of the set holds part of (libmspack would
  // only call them damaged).
  void markPartMembers() {
    mspack_file* f = sysOpen(&sys.base, name.c_str(), MSPACK_SYS_OPEN_READ);
    if (!f) return;
    const auto set = readCabinetSet([f](void* to, std::size_t n) {
      const int got = sysRead(f, to, static_cast<int>(n));
      return got < 0 ? std::size_t{0} : static_cast<std::size_t>(got);
    });
    sysClose(f);
    if (!set || set->elsewhere.size() != members.size()) return;
    for (std::size_t i = 0; i < members.size(); ++i) members[i].elsewhere = set->elsewhere[i];
  }
  ~Impl() {
    if (cabd) {
      if (cab) cabd->close(cabd, cab);
      mspack_destroy_cab_decompressor(cabd);
    }
  }
};

std::string describeMspackError(int code) {
  switch (code) {
    case MSPACK_ERR_OK:
      return "no error";
    case MSPACK_ERR_ARGS:
      return "bad arguments";
    case MSPACK_ERR_OPEN:
      return "cannot open the file";
    case MSPACK_ERR_READ:
      return "read error (the cabinet is truncated or unreadable)";
    case MSPACK_ERR_WRITE:
      return "write error";
    case MSPACK_ERR_SEEK:
      return "seek error (the cabinet is truncated)";
    case MSPACK_ERR_NOMEMORY:
      return "out of memory";
    case MSPACK_ERR_SIGNATURE:
      return "not a cabinet file";
    case MSPACK_ERR_DATAFORMAT:
      return "the cabinet is damaged (bad format)";
    case MSPACK_ERR_CHECKSUM:
      return "the cabinet is damaged (checksum mismatch)";
    case MSPACK_ERR_CRUNCH:
      return "compression error";
    case MSPACK_ERR_DECRUNCH:
      return "the cabinet is damaged (data cannot be decompressed)";
  }
  return "unknown error " + std::to_string(code);
}

CabinetReader::CabinetReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CabinetReader::~CabinetReader() = default;
CabinetReader::CabinetReader(CabinetReader&&) noexcept = default;
CabinetReader& CabinetReader::operator=(CabinetReader&&) noexcept = default;

Result<CabinetReader> CabinetReader::open(const std::string& hostFile) {
  if (hostFile.empty() || hostFile[0] != '/')
    return Status::failure("cabinet path must be absolute");
  return openNamed(std::make_unique<Impl>(), hostFile);
}

Result<CabinetReader> CabinetReader::openMemory(std::span<const unsigned char> bytes) {
  auto impl = std::make_unique<Impl>();
  impl->sys.memory = bytes;
  return openNamed(std::move(impl), kMemoryName);
}

Result<CabinetReader> CabinetReader::openNamed(std::unique_ptr<Impl> impl,
                                               const std::string& name) {
  impl->name = name;
  impl->cabd = mspack_create_cab_decompressor(&impl->sys.base);
  if (!impl->cabd) return Status::failure("cannot start the cabinet decompressor");
  // Damaged data is an error, never silently patched over.
  impl->cabd->set_param(impl->cabd, MSCABD_PARAM_FIXMSZIP, 0);
  impl->cabd->set_param(impl->cabd, MSCABD_PARAM_SALVAGE, 0);
  impl->cab = impl->cabd->open(impl->cabd, impl->name.c_str());
  if (!impl->cab) {
    const int err = impl->cabd->last_error(impl->cabd);
    // A file too short for a cabinet header reads as a read error; say what it is.
    if (err == MSPACK_ERR_READ && !startsWithSignature(impl->sys, impl->name))
      return Status::failure(describeMspackError(MSPACK_ERR_SIGNATURE));
    return Status::failure(describeMspackError(err));
  }
  std::size_t count = 0;
  for (mscabd_file* f = impl->cab->files; f; f = f->next) ++count;
  impl->files.reserve(count);
  impl->members.reserve(count);
  for (mscabd_file* f = impl->cab->files; f; f = f->next) {
    impl->files.push_back(f);
    CabinetMember m;
    m.name = toUtf8(f->filename ? f->filename : "", (f->attribs & MSCAB_ATTRIB_UTF_NAME) != 0);
    m.size = f->length;
    m.time = storedTime(*f);
    m.attributes = f->attribs;
    impl->members.push_back(std::move(m));
  }
  if (impl->cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) impl->markPartMembers();
  return CabinetReader(std::move(impl));
}

const std::vector<CabinetMember>& CabinetReader::members() const {
  return impl_->members;
}

std::uint64_t CabinetReader::declaredLength() const {
  return impl_->cab->length;
}

void CabinetReader::extractEach(const std::vector<std::size_t>& wanted, ExtractionSink& sink) {
  Impl& d = *impl_;
  for (const std::size_t index : wanted) {
    if (index >= d.files.size()) continue;
    if (!d.members[index].elsewhere.empty()) {
      sink.end(index, Status::failure(notWholeReason(d.members[index].elsewhere)));
      continue;
    }
    const OutputHandle out = sink.begin(index);
    if (out == kSkipMember) continue;
    d.sys.written = [&sink, index](int fd) { sink.written(index, fd); };
    Status s = d.extract(index, out);
    d.sys.written = nullptr;
    sink.end(index, s);
  }
}

std::vector<std::string> CabinetReader::takeWarnings() {
  std::vector<std::string> out;
  out.swap(impl_->sys.warnings);
  return out;
}

}  // namespace pm::cabarc
