#include "platform/posix/posixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/ansiText.h"
#include "platform/leftoverRecord.h"
#include "platform/posix/temporaryFiles.h"
#include "platform/text.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

bool readOnlyMode(const struct stat& st) {
  return (st.st_mode & S_IWUSR) == 0;
}

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void adopt(int fd) {
    reset();
    fd_ = fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string reason(int err) {
  return std::strerror(err);
}

// The process's umask, read without changing it (umask() would, for a moment,
// for every thread).
mode_t processUmask() {
  Fd fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (fd) {
    char buffer[4096];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer - 1);
    if (n > 0) {
      buffer[n] = '\0';
      if (const char* u = std::strstr(buffer, "Umask:"))
        return static_cast<mode_t>(std::strtol(u + 6, nullptr, 8));
    }
  }
  return 022;
}

}  // namespace

DateTime fromHostTime(long long hostSeconds) {
  const std::time_t t = static_cast<std::time_t>(hostSeconds);
  struct tm tm {};
  localtime_r(&t, &tm);
  return DateTime::fromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                             tm.tm_sec);
}

long long toHostTime(DateTime time) {
  const CivilDate d = time.date();
  struct tm tm {};
  tm.tm_year = d.year - 1900;
  tm.tm_mon = d.month - 1;
  tm.tm_mday = d.day;
  tm.tm_hour = time.hour();
  tm.tm_min = time.minute();
  tm.tm_sec = time.second();
  tm.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&tm));
}

Status PosixFileSystem::fail(const std::string& what, const std::string& path,
                             const std::string& why) {
  return Status::failure(what + " \"" + absolutePath(path) + "\": " + why);
}

bool PosixFileSystem::folderExists(const std::string& path) {
  struct stat st {};
  return ::stat(machine_.toHost(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(machine_.toHost(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Status PosixFileSystem::createFolder(const std::string& path) {
  const fs::path host = machine_.toHost(path);
  if (::mkdir(host.c_str(), 0777) == 0) return {};
  const int err = errno;
  if (err == EEXIST) return fail("Cannot create folder", path, "it exists already");
  if (err == ENOENT) return fail("Cannot create folder", path, "its parent folder does not exist");
  return fail("Cannot create folder", path, reason(err));
}

namespace {

// Deletes the contents of `dir` and then `dir` itself. Stops at the first
// failure and returns its message (host path relative to the machine mapping is
// made by the caller); empty on success.
std::string removeTree(const fs::path& dir, bool force, fs::path& failedAt) {
  struct stat dst {};
  if (::lstat(dir.c_str(), &dst) != 0) {
    failedAt = dir;
    return reason(errno);
  }
  if (readOnlyMode(dst)) {
    if (!force) {
      failedAt = dir;
      return "the folder is read-only";
    }
    ::chmod(dir.c_str(), (dst.st_mode & 07777) | S_IWUSR | S_IXUSR | S_IRUSR);
  }
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
  } else {
    failedAt = dir;
    return reason(errno);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const fs::path child = dir / name;
    struct stat st {};
    if (::lstat(child.c_str(), &st) != 0) continue;  // gone meanwhile
    if (S_ISDIR(st.st_mode)) {
      std::string why = removeTree(child, force, failedAt);
      if (!why.empty()) return why;
    } else {
      if (S_ISREG(st.st_mode) && readOnlyMode(st) && !force) {
        failedAt = child;
        return "the file is read-only";
      }
      if (::unlink(child.c_str()) != 0) {
        failedAt = child;
        return reason(errno);
      }
    }
  }
  if (::rmdir(dir.c_str()) != 0) {
    failedAt = dir;
    return reason(errno);
  }
  return {};
}

}  // namespace

Status PosixFileSystem::deleteFolder(const std::string& path, bool force) {
  const fs::path host = machine_.toHost(path);
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0)
    return fail("Cannot delete folder", path, "it does not exist");
  // A link goes as a link: what it points to is not ours to delete.
  if (S_ISLNK(st.st_mode)) {
    if (::unlink(host.c_str()) != 0) return fail("Cannot delete folder", path, reason(errno));
    return {};
  }
  if (!S_ISDIR(st.st_mode)) return fail("Cannot delete folder", path, "it is not a folder");
  fs::path failedAt;
  const std::string why = removeTree(host, force, failedAt);
  if (why.empty()) return {};
  return Status::failure("Cannot delete folder \"" + absolutePath(path) + "\": \"" +
                         machine_.toWindows(failedAt) + "\": " + why);
}

Status PosixFileSystem::copyFile(const std::string& source, const std::string& target,
                                 bool overwrite) {
  const std::string what = "Cannot copy \"" + absolutePath(source) + "\" to";
  const fs::path from = machine_.toHost(source);
  const fs::path to = machine_.toHost(target);
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) return fail(what, target, "the source cannot be read: " + reason(errno));
  struct stat sst {};
  if (::fstat(in.get(), &sst) != 0 || !S_ISREG(sst.st_mode))
    return fail(what, target, "the source is not a file");
  struct stat tst {};
  if (::stat(to.c_str(), &tst) == 0) {
    if (S_ISDIR(tst.st_mode)) return fail(what, target, "the target is a folder");
    if (tst.st_dev == sst.st_dev && tst.st_ino == sst.st_ino)
      return fail(what, target, "a file cannot be copied onto itself");
    if (!overwrite) return fail(what, target, "the target exists already");
    if (readOnlyMode(tst)) return fail(what, target, "the target is read-only");
  }
  struct stat pst {};
  if (::stat(to.parent_path().c_str(), &pst) != 0 || !S_ISDIR(pst.st_mode))
    return fail(what, target, "the target folder does not exist");

  TemporaryFile temp(machine_, to);
  if (!temp.ok()) return fail(what, target, "cannot create a file there: " + reason(errno));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(what, target, "reading the source failed: " + reason(errno));
    }
    if (!writeAll(temp.fd(), buffer, static_cast<std::size_t>(n)))
      return fail(what, target, "writing failed: " + reason(errno));
  }
  // Attributes and the modification time travel with the file, as on Windows.
  ::fchmod(temp.fd(), sst.st_mode & 07777);
  const struct timespec times[2] = {{0, UTIME_NOW}, sst.st_mtim};
  ::futimens(temp.fd(), times);
  if (!temp.commit()) return fail(what, target, "replacing the target failed: " + reason(errno));
  return {};
}

Status PosixFileSystem::deleteFile(const std::string& path, bool force) {
  const fs::path host = machine_.toHost(path);
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return fail("Cannot delete file", path, "it does not exist");
  if (S_ISDIR(st.st_mode)) return fail("Cannot delete file", path, "it is a folder");
  if (S_ISREG(st.st_mode) && readOnlyMode(st) && !force)
    return fail("Cannot delete file", path, "the file is read-only");
  if (::unlink(host.c_str()) != 0) return fail("Cannot delete file", path, reason(errno));
  return {};
}

Result<DateTime> PosixFileSystem::modificationTime(const std::string& path) {
  struct stat st {};
  if (::stat(machine_.toHost(path).c_str(), &st) != 0)
    return fail("Cannot read the modification time of", path, reason(errno));
  return fromHostTime(st.st_mtim.tv_sec);
}

Status PosixFileSystem::setModificationTime(const std::string& path, DateTime time) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(toHostTime(time)), 0}};
  if (::utimensat(AT_FDCWD, machine_.toHost(path).c_str(), times, 0) != 0)
    return fail("Cannot set the modification time of", path, reason(errno));
  return {};
}

Result<std::vector<std::string>> PosixFileSystem::listFiles(const std::string& folder) {
  const fs::path host = machine_.toHost(folder);
  DIR* d = ::opendir(host.c_str());
  if (!d) return fail("Cannot list the files of", folder, reason(errno));
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) {
    struct stat st {};
    if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
      names.push_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = toLower(a), lb = toLower(b);
    return la != lb ? la < lb : a < b;
  });
  return names;
}

Status PosixFileSystem::setWorkingFolder(const std::string& path) {
  if (::chdir(machine_.toHost(path).c_str()) != 0)
    return fail("Cannot change the working folder to", path, reason(errno));
  return {};
}

std::string PosixFileSystem::workingFolder() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string() : machine_.toWindows(cwd);
}

std::string PosixFileSystem::absolutePath(const std::string& path) {
  // A host path keeps its drive: under the machine's drive_c it is a C: path.
  if (!path.empty() && path[0] == '/') return machine_.toWindows(fs::path(path).lexically_normal());
  // The working folder is asked for only when the path needs it: it may be gone.
  const bool onADrive =
      path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
  return absoluteWindowsPath(path, onADrive ? std::string() : workingFolder());
}

Status PosixFileSystem::readPieces(const std::string& path,
                                   const std::function<bool(std::string_view)>& piece) {
  // Non-blocking, so that a FIFO without a writer is refused below instead of
  // holding the installer until someone writes to it.
  Fd fd(::open(machine_.toHost(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return fail("Cannot read", path, reason(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return fail("Cannot read", path, "it is not a file");
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("Cannot read", path, reason(errno));
    }
    if (!piece(std::string_view(buffer, static_cast<std::size_t>(n)))) break;
  }
  return {};
}

// Windows-1252 for what is read, as Cabarc reads member names here; the debug
// file stays UTF-8 (see FileSystem::toAnsi).
std::string PosixFileSystem::fromAnsi(const std::string& bytes) {
  return ansiTextToUtf8(bytes, cp1252ToUtf8);
}

std::string PosixFileSystem::toAnsi(const std::string& text) {
  return text;
}

Status PosixFileSystem::writeText(const std::string& path, const std::string& content) {
  const fs::path host = machine_.toHost(path);
  mode_t mode = 0666;
  struct stat st {};
  const bool exists = ::stat(host.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return fail("Cannot write", path, "it is a folder");
    if (readOnlyMode(st)) return fail("Cannot write", path, "the file is read-only");
    mode = st.st_mode & 07777;
  } else {
    mode = 0666 & ~processUmask();
  }
  struct stat pst {};
  if (::stat(host.parent_path().c_str(), &pst) != 0 || !S_ISDIR(pst.st_mode))
    return fail("Cannot write", path, "its folder does not exist");
  // A new file in a folder that only its owner may enter is as private.
  if (!exists && (pst.st_mode & 077) == 0) mode &= 0700;
  TemporaryFile temp(machine_, host);
  if (!temp.ok()) return fail("Cannot write", path, reason(errno));
  if (!writeAll(temp.fd(), content.data(), content.size()))
    return fail("Cannot write", path, reason(errno));
  ::fchmod(temp.fd(), mode);
  if (!temp.commit()) return fail("Cannot write", path, reason(errno));
  return {};
}

bool PosixFileSystem::isLink(const std::string& path) {
  struct stat st {};
  return ::lstat(machine_.toHost(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool PosixFileSystem::isReadOnly(const std::string& path) {
  struct stat st {};
  return ::stat(machine_.toHost(path).c_str(), &st) == 0 && readOnlyMode(st);
}

Status PosixFileSystem::clearReadOnly(const std::string& path) {
  const fs::path host = machine_.toHost(path);
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return fail("Cannot make writable", path, "it is not a file");
  if (readOnlyMode(st) && ::chmod(host.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
    return fail("Cannot make writable", path, reason(errno));
  return {};
}

Result<bool> PosixFileSystem::sameContent(const std::string& a, const std::string& b) {
  Fd fa(::open(machine_.toHost(a).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fa) return fail("Cannot read", a, reason(errno));
  Fd fb(::open(machine_.toHost(b).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fb) return fail("Cannot read", b, reason(errno));
  struct stat sa {
  }, sb{};
  if (::fstat(fa.get(), &sa) != 0 || !S_ISREG(sa.st_mode))
    return fail("Cannot read", a, "it is not a file");
  if (::fstat(fb.get(), &sb) != 0 || !S_ISREG(sb.st_mode))
    return fail("Cannot read", b, "it is not a file");
  if (sa.st_size != sb.st_size) return false;
  // Reads `want` bytes unless the file ends first; -1 on an error.
  const auto readFull = [](int fd, char* buffer, std::size_t want) -> ssize_t {
    std::size_t got = 0;
    while (got < want) {
      const ssize_t n = ::read(fd, buffer + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
  };
  static constexpr std::size_t kChunk = 1 << 16;
  std::string bufferA(kChunk, '\0'), bufferB(kChunk, '\0');
  for (;;) {
    const ssize_t na = readFull(fa.get(), bufferA.data(), kChunk);
    const ssize_t nb = readFull(fb.get(), bufferB.data(), kChunk);
    if (na < 0) return fail("Cannot read", a, reason(errno));
    if (nb < 0) return fail("Cannot read", b, reason(errno));
    if (na != nb || bufferA.compare(0, static_cast<std::size_t>(na), bufferB, 0,
                                    static_cast<std::size_t>(nb)) != 0)
      return false;
    if (na == 0) return true;
  }
}

Status PosixFileSystem::renameFile(const std::string& from, const std::string& to) {
  const std::string what = "Cannot rename \"" + absolutePath(from) + "\" to";
  const fs::path source = machine_.toHost(from);
  const fs::path target = machine_.toHost(to);
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return fail(what, to, "the file does not exist");
  if (S_ISDIR(st.st_mode)) return fail(what, to, "it is a folder");
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return {};
  int err = errno;
  // File systems without the no-replace flag: a hard link never replaces either.
  if (err == EINVAL || err == ENOSYS) {
    if (::link(source.c_str(), target.c_str()) == 0) {
      ::unlink(source.c_str());
      return {};
    }
    err = errno;
  }
  if (err == EEXIST) return fail(what, to, "the new name is taken");
  return fail(what, to, reason(err));
}

bool PosixFileSystem::inUse(const std::string& path) {
  struct stat target {};
  if (::stat(machine_.toHost(path).c_str(), &target) != 0) return false;
  // As fuser does: every open descriptor of every process we may look at.
  // Other users' processes cannot be looked at and count as not holding it.
  const std::string self = std::to_string(::getpid());
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  bool held = false;
  while (const dirent* p = ::readdir(proc)) {
    const std::string pid = p->d_name;
    if (held || pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
        pid == self)
      continue;
    DIR* fds = ::opendir(("/proc/" + pid + "/fd").c_str());
    if (!fds) continue;  // gone meanwhile, or another user's
    while (const dirent* f = ::readdir(fds)) {
      struct stat st {};
      if (f->d_name[0] != '.' && ::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 &&
          st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
        held = true;
        break;
      }
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return held;
}

bool PosixFileSystem::folderWritable(const std::string& path) {
  const fs::path host = machine_.toHost(path);
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(host.c_str(), W_OK | X_OK) == 0;
}

Result<std::string> PosixFileSystem::createPrivateTempFolder(const std::string& prefix,
                                                             bool outlivesRun) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = tmp && *tmp ? fs::path(tmp) : fs::path("/tmp");
  std::string pattern = (base / (prefix + "-XXXXXX")).string();
  // mkdtemp makes a new folder that only this user can enter: nobody can have
  // planted it, and nobody can put anything into it.
  if (!::mkdtemp(pattern.data()))
    return Status::failure("Cannot create a temporary folder in \"" + machine_.toWindows(base) +
                           "\": " + reason(errno));
  if (!outlivesRun) noteOwnTemporaryFolder(machine_, pattern);
  return machine_.toWindows(pattern);
}

namespace {

// An open file description's lock (F_OFD_SETLK): other processes, and over NFS
// and SMB other computers, see it; the kernel gives it up with the last
// descriptor, a kill included.
class PosixFileLock : public FileLock {
 public:
  PosixFileLock(int fd, fs::path path) : fd_(fd), path_(std::move(path)) {}
  // The file goes while it is still locked and still the one at the name; a
  // taker that opened it meanwhile sees it gone and makes a new one.
  ~PosixFileLock() override {
    struct stat held {};
    struct stat named {};
    if (::fstat(fd_.get(), &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
      ::unlink(path_.c_str());
  }

 private:
  Fd fd_;
  fs::path path_;
};

}  // namespace

Result<std::unique_ptr<FileLock>> PosixFileSystem::lockFile(const std::string& path) {
  const fs::path host = machine_.toHost(path);
  for (int attempt = 0; attempt < 5; ++attempt) {
    Fd fd(::open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
    if (!fd) return fail("Cannot lock", path, reason(errno));
    struct stat held {};
    struct stat named {};
    if (::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode))
      return fail("Cannot lock", path, "it is not a file");
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_SETLK, &range) != 0)
      return fail("Cannot lock", path,
                  errno == EAGAIN || errno == EACCES ? "another program holds it" : reason(errno));
    // Its last holder deleted it between our open and our lock: try the new one.
    if (::lstat(host.c_str(), &named) != 0 || named.st_dev != held.st_dev ||
        named.st_ino != held.st_ino)
      continue;
    std::string text(1024, '\0');
    const ssize_t got = ::pread(fd.get(), text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    if (got < 0 || !isLockFileText(text))
      return fail("Cannot lock", path, "it holds something other than a lock of ours");
    char computer[256] = "";
    ::gethostname(computer, sizeof computer - 1);
    const std::string line =
        lockFileText(std::string("computer ") + computer + ", process " +
                     std::to_string(::getpid()) + ", user " + std::to_string(::geteuid()));
    if (::ftruncate(fd.get(), 0) != 0 || ::pwrite(fd.get(), line.data(), line.size(), 0) < 0)
      return fail("Cannot lock", path, reason(errno));
    return std::unique_ptr<FileLock>(std::make_unique<PosixFileLock>(fd.release(), host));
  }
  return fail("Cannot lock", path, "it keeps being replaced");
}

Result<std::string> PosixFileSystem::shortPath(const std::string& path) {
  return fail("No short name for", path, "this system keeps no short names");
}

Result<std::string> PosixFileSystem::systemFolder() {
  return std::string("C:\\windows\\system32");
}

}  // namespace pm::posix
