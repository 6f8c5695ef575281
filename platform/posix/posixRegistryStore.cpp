#include "platform/posix/posixRegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <vector>

#include "platform/leftoverRecord.h"
#include "platform/posix/registryHive.h"
#include "platform/posix/registryLog.h"
#include "platform/posix/temporaryFiles.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

// What tells a file's content has changed without reading it.
struct Identity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};
  mode_t mode = 0;

  static Identity of(const struct stat& st) {
    return Identity{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, st.st_mode};
  }
  bool sameAs(const Identity& o) const {
    if (exists != o.exists) return false;
    return !exists || (dev == o.dev && ino == o.ino && size == o.size &&
                       mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
                       ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec);
  }
};

std::string failureText(const fs::path& file, const std::string& what) {
  return file.string() + ": " + what + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view data, off_t at) {
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
    at += n;
  }
  return true;
}

// Up to `size` bytes from `at` (fewer when the file is shorter); false on error.
bool readUpTo(int fd, std::string& out, std::size_t size, off_t at) {
  out.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, out.data() + got, size - got, at + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return true;
}

void syncFolder(const fs::path& file) {
  const int dir = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

Status damagedStatus(const fs::path& file, const RegistryHive::ParseError& e) {
  return Status::failure(file.string() + ": line " + std::to_string(e.line) + ": " + e.what);
}

Status checkText(const std::string& text, const char* what) {
  if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    return Status::failure(std::string("The registry cannot store a ") + what +
                           " that holds a line break or NUL character");
  return {};
}

// Every store object of the process, to fold their logs when the process ends
// through exit() as well as through the destructors.
std::mutex& liveMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<PosixRegistryStore*>& liveStores() {
  static auto* v = new std::vector<PosixRegistryStore*>;
  return *v;
}
void flushAtExit() {
  std::lock_guard guard(liveMutex());
  for (PosixRegistryStore* store : liveStores()) (void)store->flush();
}

// A fold that appends first notes here what it appends and where
// (<file>.append): should it be cut short, the store file's bytes from `at` on
// are not the store's yet, while the log it names still holds every value they
// add. The note counts only with that log, and with the store file it was made
// for, no shorter than `at` and no longer than the append.
struct AppendNote {
  static constexpr std::string_view kHeader = "PMSetup registry append 1";
  off_t at = 0;
  ino_t file = 0;
  dev_t logDev = 0;
  ino_t logIno = 0;
  std::string bytes;

  std::string encode() const {
    const std::string head = std::string(kHeader) + " " + std::to_string(at) + " " +
                             std::to_string(bytes.size()) + " " + std::to_string(file) + " " +
                             std::to_string(logDev) + " " + std::to_string(logIno);
    char crc[16];
    std::snprintf(crc, sizeof crc, " %08x\n", registryLog::crc32(head + bytes));
    return head + crc + bytes;
  }
  // Nothing when the note is not whole.
  static std::optional<AppendNote> decode(const std::string& text) {
    AppendNote n;
    unsigned long long at = 0, size = 0, file = 0, logDev = 0, logIno = 0;
    int used = 0;  // the checksum is checked by writing the note again
    const std::string format = std::string(kHeader) + " %llu %llu %llu %llu %llu %*8x\n%n";
    if (!text.starts_with(kHeader) ||
        std::sscanf(text.c_str(), format.c_str(), &at, &size, &file, &logDev, &logIno, &used) !=
            5 ||
        used == 0 || text.size() - static_cast<std::size_t>(used) != size)
      return std::nullopt;
    n.at = static_cast<off_t>(at);
    n.file = static_cast<ino_t>(file);
    n.logDev = static_cast<dev_t>(logDev);
    n.logIno = static_cast<ino_t>(logIno);
    n.bytes = text.substr(static_cast<std::size_t>(used));
    if (n.encode() != text) return std::nullopt;
    return n;
  }
};

}  // namespace

// ---- one store file ----------------------------------------------------------------

struct PosixRegistryStore::File {
  explicit File(std::string root, fs::path file)
      : rootName(std::move(root)),
        path(std::move(file)),
        lockPath(path.string() + ".lock"),
        logPath(path.string() + ".log"),
        notePath(path.string() + ".append") {}
  ~File() {
    if (lockFd >= 0) ::close(lockFd);
    closeOwnLog();
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::string rootName;
  fs::path path, lockPath, logPath, notePath;
  int lockFd = -1;
  bool lockWritable = false;

  bool loaded = false;  // hive is the store file `reg` (or `damaged`) ...
  Identity reg;
  Status damaged;
  RegistryHive hive;
  bool logPresent = false;  // ... with the first `logEnd` bytes of the log applied
  dev_t logDev = 0;
  ino_t logIno = 0;
  off_t logEnd = 0;    // 0: nothing read; else its header and whole lines
  int ownLog = -1;     // open for writing, with a shared lock, while this process
  dev_t wroteDev = 0;  // has lines in the log (see finish()): the log it wrote last
  ino_t wroteIno = 0;

  // A scan of the store file made ahead of its first use (readAhead), taken
  // when the file is still the one scanned.
  struct Scanned {
    Identity identity;  // does not exist: nothing to take
    RegistryHive hive{std::string()};
    Status damaged;
  };
  std::future<Scanned> ahead;

  static Scanned scan(const fs::path& path, const std::string& rootName) {
    Scanned r;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0) return r;
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return r;
    }
    try {
      r.hive = RegistryHive::load(
          RegistryHive::fileSource(fd, static_cast<std::uint64_t>(st.st_size)), rootName);
    } catch (const RegistryHive::ParseError& e) {
      r.damaged = damagedStatus(path, e);
    } catch (...) {
      return Scanned{};  // changed while it was read, or no memory: read it when used
    }
    r.identity = Identity::of(st);
    return r;
  }
  // The scan made ahead when it is of the store file as it is now (`now`, taken
  // under the lock); it is used once either way.
  bool takeScan(const Identity& now) {
    if (!ahead.valid()) return false;
    Scanned r = ahead.get();
    struct stat ns {};
    if (!r.identity.exists || !r.identity.sameAs(now) || ::lstat(notePath.c_str(), &ns) == 0)
      return false;
    hive = std::move(r.hive);
    damaged = std::move(r.damaged);
    reg = now;
    loaded = true;
    return true;
  }

  bool logHasLines() const { return logEnd > static_cast<off_t>(registryLog::kHeader.size()); }
  void dropLog() {
    logPresent = false;
    logEnd = 0;
  }
  void forget() {
    loaded = false;
    dropLog();
  }
  void closeOwnLog() {
    if (ownLog >= 0) ::close(ownLog);
    ownLog = -1;
  }
  // Applies the log through `fd` (closed then) from logEnd to `ls.st_size`.
  Status takeLog(int fd, const struct stat& ls) {
    logPresent = true;
    logDev = ls.st_dev;
    logIno = ls.st_ino;
    std::string tail;
    const bool read = ls.st_size <= logEnd ||
                      readUpTo(fd, tail, static_cast<std::size_t>(ls.st_size - logEnd), logEnd);
    ::close(fd);
    if (!read) return Status::failure(failureText(logPath, "cannot read"));
    std::string_view rest = tail;
    if (logEnd == 0) {
      if (!rest.starts_with(registryLog::kHeader)) return {};  // not even a whole header
      logEnd = static_cast<off_t>(registryLog::kHeader.size());
      rest.remove_prefix(registryLog::kHeader.size());
    }
    logEnd += static_cast<off_t>(
        registryLog::replay(rest, [this](const RegistryChange& c) { c.applyTo(hive); }));
    return {};
  }
  // Where the store's own bytes end in the store file (`fd`, `st`): its size,
  // or where an append that was cut short began (see AppendNote), when the
  // bytes after that are the start of the append or zeros (a crash of the
  // machine can leave those).
  off_t contentEnd(int regFd, const struct stat& st) const {
    const int fd = ::open(notePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return st.st_size;
    struct stat ns {};
    std::string text;
    const bool read = ::fstat(fd, &ns) == 0 && S_ISREG(ns.st_mode) && ns.st_size < (64 << 20) &&
                      readUpTo(fd, text, static_cast<std::size_t>(ns.st_size), 0);
    ::close(fd);
    const std::optional<AppendNote> note = read ? AppendNote::decode(text) : std::nullopt;
    struct stat ls {};
    if (!note || note->file != st.st_ino || st.st_size < note->at ||
        st.st_size > note->at + static_cast<off_t>(note->bytes.size()) ||
        ::lstat(logPath.c_str(), &ls) != 0 || ls.st_dev != note->logDev ||
        ls.st_ino != note->logIno)
      return st.st_size;
    std::string after;
    if (!readUpTo(regFd, after, static_cast<std::size_t>(st.st_size - note->at), note->at) ||
        (!note->bytes.starts_with(after) && after.find_first_not_of('\0') != std::string::npos))
      return st.st_size;
    return note->at;
  }
  // Removes the note of an append; false when it stays.
  bool removeNote() const {
    if (::unlink(notePath.c_str()) != 0) return errno == ENOENT;
    syncFolder(notePath);  // gone before the log goes
    return true;
  }
  // The log, open for reading, or -1 when there is none (a link or anything but
  // a file at its name counts as none).
  Result<int> openLog(struct stat& ls) const {
    const int fd = ::open(logPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT || errno == ELOOP) return -1;
      return Status::failure(failureText(logPath, "cannot read"));
    }
    if (::fstat(fd, &ls) != 0 || !S_ISREG(ls.st_mode)) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
};

// The lock of a store file's <file>.lock, released at the end of the scope.
class PosixRegistryStore::Lock {
 public:
  Lock() = default;
  ~Lock() { release(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  // A shared lock goes without one where the lock file cannot be made (a store
  // that may only be read); replacing the store file is atomic.
  Status acquire(File& file, bool exclusive) {
    if (file.lockFd < 0 || (exclusive && !file.lockWritable)) {
      if (file.lockFd >= 0) ::close(file.lockFd);
      // A plan, which writes nothing, makes no lock file where none is: the
      // install lock it holds keeps the installers' writes away.
      const int create = recordLeftAlone() && !exclusive ? 0 : O_CREAT;
      file.lockFd = ::open(file.lockPath.c_str(), O_RDWR | create | O_CLOEXEC | O_NOFOLLOW, 0644);
      file.lockWritable = file.lockFd >= 0;
      if (file.lockFd < 0 && !exclusive) {
        file.lockFd = ::open(file.lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (file.lockFd < 0) return {};
      }
      if (file.lockFd < 0)
        return Status::failure(failureText(file.lockPath, "cannot open the lock file"));
    }
    while (::flock(file.lockFd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) return Status::failure(failureText(file.lockPath, "cannot lock"));
    }
    file_ = &file;
    return {};
  }
  void release() {
    if (file_) ::flock(file_->lockFd, LOCK_UN);
    file_ = nullptr;
  }

 private:
  File* file_ = nullptr;
};

PosixRegistryStore::PosixRegistryStore(Machine machine) : machine_(std::move(machine)) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(flushAtExit); });
  std::lock_guard guard(liveMutex());
  liveStores().push_back(this);
}

PosixRegistryStore::~PosixRegistryStore() {
  {
    std::lock_guard guard(liveMutex());
    std::erase(liveStores(), this);
  }
  if (Status s = flush(); !s)
    std::fprintf(stderr, "registry: %s (the log stays beside the store file and is read with it)\n",
                 s.message().c_str());
}

PosixRegistryStore::File* PosixRegistryStore::fileOf(RootKey root, Status& failure) {
  const std::string rootName = rootKeyName(root);
  if (rootName.empty()) {
    failure = Status::failure("Unknown registry root key");
    return nullptr;
  }
  auto& file = files_[root == RootKey::CurrentUser ? 1 : 0];
  if (!file) file = std::make_unique<File>(rootName, machine_.registryFile(rootName));
  return file.get();
}

Status PosixRegistryStore::begin(RootKey root, bool exclusive, Lock& lock, File*& file) {
  Status failure;
  file = fileOf(root, failure);
  if (!file) return failure;
  if (exclusive) {
    std::error_code ec;
    fs::create_directories(file->path.parent_path(), ec);
  }
  if (Status s = lock.acquire(*file, exclusive); !s) return s;
  return refresh(*file, exclusive ? nullptr : &lock);
}

// ---- reading: the store file once, then what changed ------------------------------

void PosixRegistryStore::readAhead(RootKey root) {
  std::lock_guard guard(mutex_);
  Status failure;
  File* f = fileOf(root, failure);
  if (!f || f->loaded || f->ahead.valid()) return;
  // No lock: a store file is replaced whole, by a rename, and what is scanned
  // is taken only while the file is still the same (refresh, under the lock).
  f->ahead = std::async(std::launch::async, &File::scan, f->path, f->rootName);
}

// Brings the store file and the log in memory up to date. `releasable` (a shared
// lock) is let go once both files are open when the store file must be read
// again: the reading and parsing then keep no writer waiting.
Status PosixRegistryStore::refresh(File& f, Lock* releasable) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    struct stat st {};
    Identity now;
    if (::stat(f.path.c_str(), &st) == 0) {
      now = Identity::of(st);
    } else if (errno != ENOENT) {
      return Status::failure(failureText(f.path, "cannot read"));
    }
    if (!f.loaded || !now.sameAs(f.reg)) {
      // Read the store file again, and the log from its start.
      f.forget();
      if (f.takeScan(now)) {
        if (!f.damaged.ok()) return f.damaged;
        struct stat ls {};
        const Result<int> logFd = f.openLog(ls);
        if (!logFd) return logFd.status();
        return logFd.value() >= 0 ? f.takeLog(logFd.value(), ls) : Status{};
      }
      f.hive = RegistryHive(f.rootName);
      f.damaged = {};
      int regFd = -1;
      if (now.exists) {
        regFd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (regFd < 0) {
          if (errno == ENOENT) continue;
          return Status::failure(failureText(f.path, "cannot read"));
        }
        if (::fstat(regFd, &st) != 0) {
          const Status s = Status::failure(failureText(f.path, "cannot read"));
          ::close(regFd);
          return s;
        }
        now = Identity::of(st);
      }
      struct stat ls {};
      const Result<int> logFd = f.openLog(ls);
      if (!logFd) {
        if (regFd >= 0) ::close(regFd);
        return logFd.status();
      }
      // Both files are open: a fold from now on leaves them as they are for us.
      if (releasable) releasable->release();
      if (regFd >= 0) {
        try {
          f.hive = RegistryHive::load(
              RegistryHive::fileSource(regFd, static_cast<std::uint64_t>(f.contentEnd(regFd, st))),
              f.rootName);
        } catch (const RegistryHive::ParseError& e) {
          f.damaged = damagedStatus(f.path, e);
        } catch (const RegistryHive::SourceChanged&) {
          if (logFd.value() >= 0) ::close(logFd.value());
          continue;  // changed in place while it was read
        }
      }
      f.reg = now;
      f.loaded = true;
      if (!f.damaged.ok()) {
        if (logFd.value() >= 0) ::close(logFd.value());
        return f.damaged;
      }
      return logFd.value() >= 0 ? f.takeLog(logFd.value(), ls) : Status{};
    }
    f.reg.mode = now.mode;
    if (!f.damaged.ok()) return f.damaged;

    // The same store file: what the log has gained.
    struct stat ls {};
    const Result<int> opened = f.openLog(ls);
    if (!opened) return opened.status();
    int fd = opened.value();
    if (fd < 0) {
      // Lines applied here are gone, yet the store file is the same: the log was
      // removed by hand. Read the store file again.
      if (f.logHasLines()) {
        f.forget();
        continue;
      }
      f.dropLog();
      return {};
    }
    if (f.logEnd > 0 && (ls.st_dev != f.logDev || ls.st_ino != f.logIno || ls.st_size < f.logEnd)) {
      // Another log than the one whose lines were applied: start again.
      if (f.logHasLines()) {
        ::close(fd);
        f.forget();
        continue;
      }
      f.dropLog();
    }
    return f.takeLog(fd, ls);
  }
  return Status::failure(f.path.string() + ": the store keeps changing while it is read");
}

// Runs `answer` on the store brought up to date, under its lock; a store file
// changed in place while it was read is read again.
template <typename Answer>
auto PosixRegistryStore::withFile(RootKey root, bool exclusive, Answer&& answer) {
  using R = decltype(answer(std::declval<File&>()));
  std::lock_guard guard(mutex_);
  File* f = nullptr;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Lock lock;
    try {
      if (Status s = begin(root, exclusive, lock, f); !s) return R(s);
      return answer(*f);
    } catch (const RegistryHive::SourceChanged&) {
      f->forget();
    }
  }
  return R(Status::failure(f->path.string() + ": the store file keeps changing while it is read"));
}

Result<std::optional<RegValue>> PosixRegistryStore::readValue(RootKey root,
                                                              const std::string& keyPath,
                                                              const std::string& valueName) {
  return withFile(root, false,
                  [&](File& f) { return f.hive.value(keyPath, valueName, f.path.string()); });
}

Result<bool> PosixRegistryStore::keyExists(RootKey root, const std::string& keyPath) {
  return withFile(root, false, [&](File& f) { return Result<bool>(f.hive.keyExists(keyPath)); });
}

Result<std::vector<std::string>> PosixRegistryStore::valueNames(RootKey root,
                                                                const std::string& keyPath) {
  return withFile(root, false, [&](File& f) {
    return Result<std::vector<std::string>>(f.hive.valueNames(keyPath));
  });
}

// ---- writing: a line in the log, folded now and then ---------------------------------

Status PosixRegistryStore::writeValue(RootKey root, const std::string& keyPath,
                                      const std::string& valueName, const RegValue& value) {
  if (Status s = checkText(keyPath, "key name"); !s) return s;
  if (Status s = checkText(valueName, "value name"); !s) return s;
  if (value.type == ValueType::String) {
    if (Status s = checkText(value.text, "string value"); !s) return s;
  }
  RegistryChange c;
  c.kind = RegistryChange::Kind::SetValue;
  c.keyPath = keyPath;
  c.valueName = valueName;
  c.value =
      value.type == ValueType::Dword ? RegValue::number(value.dword) : RegValue::string(value.text);
  return change(root, c);
}

Status PosixRegistryStore::createKey(RootKey root, const std::string& keyPath) {
  if (Status s = checkText(keyPath, "key name"); !s) return s;
  RegistryChange c;
  c.keyPath = keyPath;
  return change(root, c);
}

Status PosixRegistryStore::change(RootKey root, const RegistryChange& change) {
  return withFile(root, true, [&](File& f) {
    // Read-only as a protected key is: no write, and no rename round it either.
    if (f.reg.exists && (!(f.reg.mode & S_IWUSR) || ::access(f.path.c_str(), W_OK) != 0))
      return Status::failure(f.path.string() + ": access is denied (the store file is read-only)");
    if (!change.applyTo(f.hive)) return Status{};
    if (Status s = appendToLog(f, registryLog::record(change)); !s) {
      f.forget();  // the change is in memory only: read the store again
      return s;
    }
    const off_t bound = std::max<off_t>(static_cast<off_t>(foldLogBytes), f.reg.size / 4);
    if (f.logEnd > bound) (void)fold(f);  // on failure the log stays, and is folded later
    return Status{};
  });
}

Status PosixRegistryStore::appendToLog(File& f, const std::string& record) {
  const bool fresh = !f.logPresent || f.logEnd < static_cast<off_t>(registryLog::kHeader.size());
  struct stat st {};
  if (!fresh) {
    if (f.ownLog < 0 || ::fstat(f.ownLog, &st) != 0 || st.st_dev != f.logDev ||
        st.st_ino != f.logIno) {
      f.closeOwnLog();
      const int fd = ::open(f.logPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_dev != f.logDev || st.st_ino != f.logIno) {
        const Status s = Status::failure(failureText(f.logPath, "cannot write"));
        if (fd >= 0) ::close(fd);
        return s;
      }
      f.ownLog = fd;
      (void)::flock(fd, LOCK_SH | LOCK_NB);  // see finish()
    }
    auto failed = [&](const char* what) {
      const Status s = Status::failure(failureText(f.logPath, what));
      (void)::ftruncate(f.ownLog, f.logEnd);
      return s;
    };
    // A line that a crash cut short goes.
    if (st.st_size != f.logEnd && ::ftruncate(f.ownLog, f.logEnd) != 0)
      return failed("cannot write");
    if (!writeAll(f.ownLog, record, f.logEnd)) return failed("cannot write");
    step("log written");
    if (::fdatasync(f.ownLog) != 0) return failed("cannot flush");
    step("log flushed");
    f.logEnd += static_cast<off_t>(record.size());
  } else {
    // A new log; whatever has its name (a log without a whole header, a link) goes.
    f.closeOwnLog();
    f.dropLog();
    if (::unlink(f.logPath.c_str()) != 0 && errno != ENOENT)
      return Status::failure(failureText(f.logPath, "cannot remove"));
    const mode_t mode = f.reg.exists ? (f.reg.mode & 0666) : 0644;
    const int fd =
        ::open(f.logPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) return Status::failure(failureText(f.logPath, "cannot create"));
    (void)::flock(fd, LOCK_SH | LOCK_NB);  // see finish()
    const std::string content = std::string(registryLog::kHeader) + record;
    const char* failure = nullptr;
    if (!writeAll(fd, content, 0)) failure = "cannot write";
    if (!failure) step("log written");
    if (!failure && (::fsync(fd) != 0 || ::fstat(fd, &st) != 0)) failure = "cannot flush";
    if (failure) {
      const Status s = Status::failure(failureText(f.logPath, failure));
      ::unlink(f.logPath.c_str());
      ::close(fd);
      return s;
    }
    syncFolder(f.logPath);
    step("log flushed");
    f.ownLog = fd;
    f.logPresent = true;
    f.logDev = st.st_dev;
    f.logIno = st.st_ino;
    f.logEnd = static_cast<off_t>(content.size());
  }
  f.wroteDev = f.logDev;
  f.wroteIno = f.logIno;
  return {};
}

// Under the exclusive lock, with `f` refreshed.
Status PosixRegistryStore::fold(File& f) {
  if (!f.logPresent) return {};
  // A read-only store file is never rewritten; its log stays and is read with it.
  if (f.reg.exists && !(f.reg.mode & S_IWUSR)) return {};
  if (f.logHasLines()) {
    removeTemporaryFilesOf(f.path);
    // In a large store file, keys made go at the end, so that a fold that
    // only made keys appends them. After an append cut short the file is
    // rewritten whole.
    const bool large = f.reg.exists && f.reg.size >= static_cast<off_t>(appendFoldBytes);
    struct stat ns {};
    const bool noted = ::lstat(f.notePath.c_str(), &ns) == 0;
    bool appended = false;
    if (large && !noted) {
      if (const std::optional<std::string> tail = f.hive.appendix()) {
        const Result<bool> done = appendToFile(f, *tail);
        if (!done) return done.status();
        appended = done.value();
      }
    }
    if (!appended) {
      const mode_t mode = f.reg.exists ? (f.reg.mode & 07777) : 0644;
      if (Status s = writeFileAtomically(
              nullptr, f.path, [&f, large](const auto& write) { f.hive.serialize(write, large); },
              mode, [this] { step("temporary written"); });
          !s)
        return s;
      step("replaced");
      struct stat st {};
      if (::stat(f.path.c_str(), &st) == 0) {
        f.reg = Identity::of(st);  // what is in memory
      } else {
        f.forget();
      }
    }
  }
  if (!f.removeNote()) return Status::failure(failureText(f.notePath, "cannot remove"));
  // Lines applied twice set the same values again: a crash before this is harmless.
  if (::unlink(f.logPath.c_str()) != 0 && errno != ENOENT)
    return Status::failure(failureText(f.logPath, "cannot remove"));
  f.dropLog();
  f.closeOwnLog();
  return {};
}

// Appends `tail` to the store file in place, noted first (AppendNote); false
// when the file is not one to write in place (another link to it, or changed).
Result<bool> PosixRegistryStore::appendToFile(File& f, const std::string& tail) {
  if (tail.empty()) return true;
  const int fd = ::open(f.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      !Identity::of(st).sameAs(f.reg)) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  AppendNote note;
  note.at = st.st_size;
  note.file = st.st_ino;
  note.logDev = f.logDev;
  note.logIno = f.logIno;
  note.bytes = tail;
  const std::string text = note.encode();
  auto failed = [&](const fs::path& file, const char* what) {
    const Status s = Status::failure(failureText(file, what));
    ::close(fd);
    return s;
  };
  const int nfd =
      ::open(f.notePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (nfd < 0) return failed(f.notePath, "cannot create");
  const bool noted = writeAll(nfd, text, 0) && ::fdatasync(nfd) == 0;
  ::close(nfd);
  if (!noted) {
    const Status s = failed(f.notePath, "cannot write");
    ::unlink(f.notePath.c_str());
    return s;
  }
  syncFolder(f.notePath);
  step("append noted");
  if (!writeAll(fd, tail, note.at) || ::fdatasync(fd) != 0) {
    const Status s = Status::failure(failureText(f.path, "cannot write"));
    // Cut back, the note can go; else it keeps the added bytes out of the store.
    if (::ftruncate(fd, note.at) == 0 && ::fdatasync(fd) == 0) (void)f.removeNote();
    ::close(fd);
    f.forget();
    return s;
  }
  ::close(fd);
  step("appended");
  f.forget();  // the keys made are in the file now: read it again when used
  return true;
}

// The end of this process's use of a store: fold the log when this process has
// lines in it, or when no running process has (a killed one's); a log whose
// lines are all another running process's is that one's to fold when it ends.
// Also removes what crashed folds left.
Status PosixRegistryStore::finish(File& f) {
  // A plan only read the store: it leaves even a killed run's log to the next install.
  if (!f.loaded || recordLeftAlone()) return {};
  Lock lock;
  if (!lock.acquire(f, true)) return {};  // a store that may only be read
  removeTemporaryFilesOf(f.path);
  struct stat ls {};
  if (::lstat(f.logPath.c_str(), &ls) != 0 || !S_ISREG(ls.st_mode)) {
    (void)f.removeNote();  // a note counts only with its log
    return {};
  }
  bool fold = ls.st_dev == f.wroteDev && ls.st_ino == f.wroteIno;
  if (!fold) {
    // Writers hold a shared lock on the log while they have lines in it. (A
    // program they start holds it too for a moment, so this is never relied
    // on for a process's own lines.)
    const int fd = ::open(f.logPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    fold = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
  }
  if (!fold || !refresh(f, nullptr)) return {};  // a damaged store is never written
  return this->fold(f);
}

Status PosixRegistryStore::flush() {
  std::lock_guard guard(mutex_);
  Status first;
  for (auto& file : files_) {
    if (!file) continue;
    Status s;
    try {
      s = finish(*file);
    } catch (const RegistryHive::SourceChanged&) {
      file->forget();
      s = Status::failure(file->path.string() + ": changed while it was folded");
    }
    if (!s && first.ok()) first = s;
  }
  return first;
}

}  // namespace pm::posix
