#include "platform/posix/temporaryFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <system_error>

#include "platform/leftoverRecord.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".pmtmp-";
constexpr std::size_t kRandomLength = 6;  // mkostemp's XXXXXX

fs::path leftoverList(const Machine& machine) {
  return machine.root() / "PMSetup.leftovers";
}

// A record we may believe: a plain file of this user, with no other name, that
// nobody else may write.
bool trusted(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
         st.st_nlink == 1 && (st.st_mode & 022) == 0;
}

// Appends one entry to the record, on disk before the caller goes on. A record
// that cannot be trusted is not added to: it is replaced by a new one.
void note(const Machine& machine, const LeftoverEntry& entry) {
  if (recordLeftAlone()) return;
  const fs::path list = leftoverList(machine);
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  int fd = ::open(list.c_str(), kFlags, 0600);
  if (fd >= 0 && !trusted(fd)) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0 && ::unlink(list.c_str()) == 0) fd = ::open(list.c_str(), kFlags | O_EXCL, 0600);
  if (fd < 0) return;
  const std::string text = leftoverLine(entry) + "\n";
  if (::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) ::fsync(fd);
  ::close(fd);
}

// Notes each folder once per process and machine.
void noteFolder(const Machine& machine, const fs::path& folder) {
  static std::mutex mutex;
  static std::set<std::string> noted;
  std::lock_guard<std::mutex> lock(mutex);
  if (noted.insert(machine.root().string() + '\0' + folder.string()).second)
    note(machine, {'F', folder.string(), {}});
}

void fsyncFolder(const fs::path& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  diskCalls().flush(dir);
  ::close(dir);
}

// Removes our temporary files (and links planted under such names) directly in `folder`.
void removeTemporaryFiles(const fs::path& folder) {
  DIR* d = ::opendir(folder.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    if (!isTemporaryFileName(e->d_name)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
      ::unlinkat(::dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

}  // namespace

DiskCalls& diskCalls() {
  static DiskCalls calls{::fsync, ::rename};
  return calls;
}

bool isTemporaryFileName(const std::string& name) {
  const std::size_t at = name.rfind(kMarker);
  return name.size() > 1 && name[0] == '.' && at != std::string::npos && at > 1 &&
         name.size() == at + std::char_traits<char>::length(kMarker) + kRandomLength;
}

TemporaryFile::TemporaryFile(const Machine& machine, const fs::path& target)
    : TemporaryFile((noteFolder(machine, target.parent_path()), target)) {}

TemporaryFile::TemporaryFile(const fs::path& target) : target_(target) {
  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + kMarker + "XXXXXX")).string();
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ >= 0) path_ = pattern;
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!path_.empty() && !committed_) ::unlink(path_.c_str());
}

bool TemporaryFile::commit(const std::function<void()>& beforeRename) {
  if (diskCalls().flush(fd_) != 0) return false;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return false;
  if (beforeRename) beforeRename();
  if (diskCalls().rename(path_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  fsyncFolder(target_.parent_path());
  return true;
}

Status writeFileAtomically(const Machine* machine, const fs::path& target,
                           const ContentWriter& content, std::optional<mode_t> mode,
                           const std::function<void()>& beforeRename) {
  const auto failed = [&] {
    return Status::failure("cannot write " + target.string() + ": " + std::strerror(errno));
  };
  struct stat st {};
  if (!mode) mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  std::optional<TemporaryFile> made;
  if (machine) {
    made.emplace(*machine, target);
  } else {
    made.emplace(target);
  }
  TemporaryFile& temp = *made;
  if (!temp.ok()) return failed();
  int writeError = 0;
  off_t written = 0, started = 0;
  content([&](std::string_view piece) {
    while (!piece.empty() && writeError == 0) {
      const ssize_t n = ::write(temp.fd(), piece.data(), piece.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        writeError = n < 0 ? errno : EIO;
        return;
      }
      piece.remove_prefix(static_cast<std::size_t>(n));
      written += n;
    }
    // A large file starts on its way to the disk while the rest is made, so the
    // flush at the end waits for less.
    if (written - started >= (off_t{4} << 20)) {
      ::sync_file_range(temp.fd(), started, written - started, SYNC_FILE_RANGE_WRITE);
      started = written;
    }
  });
  if (writeError != 0) {
    errno = writeError;
    return failed();
  }
  if (::fchmod(temp.fd(), *mode) != 0 || !temp.commit(beforeRename)) return failed();
  return {};
}

void removeTemporaryFilesOf(const fs::path& target) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const std::string prefix = "." + target.filename().string() + kMarker;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.starts_with(prefix) && isTemporaryFileName(name)) ::unlinkat(::dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

void noteOwnTemporaryFolder(const Machine& machine, const fs::path& folder) {
  unsigned char random[16];
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return;
  const std::string token = ownerToken(random);
  if (::mkdir((folder / ownerMarkName(token)).c_str(), 0700) == 0)
    note(machine, {'D', folder.string(), token});
}

namespace {

// A folder that a run of ours made: a real folder (no link) of this user that
// nobody else may enter, named as mkdtemp names ("PMUpTemp-Ab12Cd"), that holds
// the owner mark its entry names.
bool provablyOurs(const fs::path& place, const std::string& token) {
  const std::string name = place.filename().string();
  if (name.size() <= kRandomLength || name[name.size() - kRandomLength - 1] != '-') return false;
  for (char c : name.substr(name.size() - kRandomLength))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  const int dir = ::open(place.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return false;
  struct stat st {};
  struct stat mark {};
  const bool ours = ::fstat(dir, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0 &&
                    ::fstatat(dir, ownerMarkName(token).c_str(), &mark, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(mark.st_mode) && mark.st_uid == ::geteuid();
  ::close(dir);
  return ours;
}

}  // namespace

void sweepLeftovers(const Machine& machine) {
  if (recordLeftAlone()) return;
  const fs::path list = leftoverList(machine);
  const int fd = ::open(list.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  std::string text;
  if (fd >= 0 && trusted(fd)) {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, got);
  }
  if (fd >= 0) ::close(fd);
  for (const LeftoverEntry& entry : parseLeftoverRecord(text)) {
    const fs::path place = entry.place;
    if (entry.kind == 'F') {
      removeTemporaryFiles(place);
    } else if (provablyOurs(place, entry.token)) {
      std::error_code ec;
      fs::remove_all(place, ec);  // removes links inside, never what they point to
    }
  }
  ::unlink(list.c_str());
}

}  // namespace pm::posix
