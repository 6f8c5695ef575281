#include "platform/posix/temporaryFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".pmtmp-";
constexpr std::size_t kRandomLength = 6;  // mkostemp's XXXXXX

fs::path leftoverList(const Machine& machine) {
  return machine.root() / "PMSetup.leftovers";
}

// Appends one line to the list, on disk before the caller goes on.
void note(const Machine& machine, const std::string& line) {
  const int fd = ::open(leftoverList(machine).c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return;
  const std::string text = line + "\n";
  if (::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) ::fsync(fd);
  ::close(fd);
}

// Notes each folder once per process and machine.
void noteFolder(const Machine& machine, const fs::path& folder) {
  static std::mutex mutex;
  static std::set<std::string> noted;
  const std::string line = "F " + folder.string();
  std::lock_guard<std::mutex> lock(mutex);
  if (noted.insert(machine.root().string() + "\n" + line).second) note(machine, line);
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
  note(machine, "D " + folder.string());
}

void sweepLeftovers(const Machine& machine) {
  const fs::path list = leftoverList(machine);
  std::ifstream in(list);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 3 || line[1] != ' ') continue;
    const fs::path place = line.substr(2);
    if (line[0] == 'F') {
      removeTemporaryFiles(place);
    } else if (line[0] == 'D') {
      // Only a real folder of this user: a link or someone else's folder that
      // took the name meanwhile is left alone.
      struct stat st {};
      if (::lstat(place.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
        std::error_code ec;
        fs::remove_all(place, ec);  // removes links inside, never what they point to
      }
    }
  }
  ::unlink(list.c_str());
}

}  // namespace pm::posix
