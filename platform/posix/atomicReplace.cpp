#include "platform/posix/atomicReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace pm::posix {

namespace fs = std::filesystem;

Status replaceFileAtomically(const fs::path& file, mode_t mode, const ContentWriter& content,
                             const std::function<void()>& beforeRename) {
  std::string temp = file.string() + ".tmp.XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);  // O_CREAT | O_EXCL: never through a link
  auto failed = [&](const std::string& what, bool created) {
    const std::string message = file.string() + ": " + what + ": " + std::strerror(errno);
    if (created) ::unlink(temp.c_str());
    return Status::failure(message);
  };
  const std::string tempName = fs::path(temp).filename().string();
  if (fd < 0) return failed("cannot create " + tempName, false);
  if (::fchmod(fd, mode) != 0) {
    ::close(fd);
    return failed("cannot write " + tempName, true);
  }
  int writeError = 0;
  off_t written = 0, started = 0;
  try {
    content([&](std::string_view piece) {
      while (!piece.empty() && writeError == 0) {
        const ssize_t n = ::write(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          writeError = n < 0 ? errno : EIO;
          return;
        }
        piece.remove_prefix(static_cast<std::size_t>(n));
        written += n;
      }
      // Start writing out what is there while the rest is made (the flush below
      // then waits for less).
      if (written - started >= (off_t{4} << 20)) {
        ::sync_file_range(fd, started, written - started, SYNC_FILE_RANGE_WRITE);
        started = written;
      }
    });
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (writeError != 0) {
    ::close(fd);
    errno = writeError;
    return failed("cannot write " + tempName, true);
  }
  if (::fsync(fd) != 0) {
    ::close(fd);
    return failed("cannot flush " + tempName, true);
  }
  if (::close(fd) != 0) return failed("cannot write " + tempName, true);
  if (beforeRename) beforeRename();
  if (::rename(temp.c_str(), file.c_str()) != 0) return failed("cannot replace the file", true);
  const int dir = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

void removeStaleTemporaries(const fs::path& file) {
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string prefix = file.filename().string() + ".tmp";
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    ::close(dirFd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == prefix ||
        (name.starts_with(prefix) && name.size() > prefix.size() && name[prefix.size()] == '.'))
      ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace pm::posix
