// The file system as the install stages use it: Windows paths in, Windows
// semantics out.
//
// Every path is Windows text ("C:\Program Files\Pelmora\Dorvane.mdb", "Z:\home\ann",
// a path relative to the working folder, "\" or "/" as separators); the
// implementation maps it to the machine underneath. A lookup that misses the exact
// name finds an existing entry that differs only in letter case, since Windows
// file names are case-insensitive.
//
// Windows rules where they differ from POSIX: a file without its owner-write bit
// is read-only, and deleting or overwriting it "without forcing" fails. A failed
// operation returns a Status whose message says what failed and on which path.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime.h"
#include "platform/result.h"

namespace pm {

// A lock held on a file (FileSystem::lockFile), given up when this goes.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when the path names an existing folder (false for a file or nothing).
  virtual bool folderExists(const std::string& path) = 0;
  // True when the path names an existing file (false for a folder or nothing).
  virtual bool fileExists(const std::string& path) = 0;

  // Creates one folder; its parent must exist. Fails when the folder exists already.
  virtual Status createFolder(const std::string& path) = 0;
  // Deletes a folder with everything in it. Without force, a read-only file in
  // it makes the call fail (what could be deleted before it is gone). A link (a
  // symbolic link or junction) at the path, or inside, is removed itself: what
  // it points to is never touched.
  virtual Status deleteFolder(const std::string& path, bool force = false) = 0;
  // Copies a file. With overwrite, an existing target is replaced unless it is
  // read-only; without overwrite, an existing target makes the call fail. The
  // target keeps the source's modification time, as a Windows copy does.
  virtual Status copyFile(const std::string& source, const std::string& target,
                          bool overwrite = true) = 0;
  // Deletes a file. Without force, a read-only file is not deleted (failure).
  // A link to a file is removed itself, not the file it points to.
  virtual Status deleteFile(const std::string& path, bool force = false) = 0;
  // Gives a file a new name (in its folder, or another on the same drive).
  // Never replaces anything: when the new name is taken the call fails and
  // nothing changes. A read-only file can be renamed.
  virtual Status renameFile(const std::string& from, const std::string& to) = 0;

  // True when the path itself is a link (symbolic link or junction), whatever
  // it points to, even nothing. folderExists and fileExists look through links.
  virtual bool isLink(const std::string& path) = 0;
  // True when the path names an existing file (or folder) that is read-only.
  virtual bool isReadOnly(const std::string& path) = 0;
  // Makes a read-only file writable (a copy from a CD keeps the attribute).
  virtual Status clearReadOnly(const std::string& path) = 0;
  // True when another program holds the file open, so that it cannot be
  // replaced safely now (Windows: opening it for exclusive use fails with a
  // sharing violation). False when nobody does, or nobody can be seen to.
  virtual bool inUse(const std::string& path) = 0;
  // True when files can be made in the folder (false on a CD, a mounted image,
  // a read-only share, or without the permission).
  virtual bool folderWritable(const std::string& path) = 0;
  // True when both files hold the same bytes; fails when either cannot be read.
  virtual Result<bool> sameContent(const std::string& a, const std::string& b) = 0;
  // Makes a new folder of this user's own in the user's temporary folder
  // (%TEMP%; on Linux $TMPDIR or /tmp), named `prefix` and a random ending,
  // that no other user can have made, planted, read or write into; it holds no
  // file. Returns its absolute path. Unless it `outlivesRun`, it is noted as
  // the run's own, and the install lock removes it when the run ends (or the
  // next run, if this one is killed).
  virtual Result<std::string> createPrivateTempFolder(const std::string& prefix,
                                                      bool outlivesRun) = 0;
  // Takes the lock of a lock file without waiting: the file is made (or a
  // stale one of ours reused), locked as other computers that share the
  // folder see it (a byte-range lock, which SMB and NFS carry), and given a
  // line that says who holds it. Fails when another program, here or on
  // another computer, holds it, or when something other than a lock file of
  // ours (a link, a folder, a file with other content) has the name. The lock
  // is given up, and the file deleted, when the returned object goes; a
  // killed holder's lock goes with its process, leaving a stale file.
  virtual Result<std::unique_ptr<FileLock>> lockFile(const std::string& path) = 0;

  // The file's last modification time, local time to the second.
  virtual Result<DateTime> modificationTime(const std::string& path) = 0;
  // Sets it (used by tools and tests that build installer folders).
  virtual Status setModificationTime(const std::string& path, DateTime time) = 0;

  // Names (not paths) of the files directly in a folder, sorted; folders are not listed.
  virtual Result<std::vector<std::string>> listFiles(const std::string& folder) = 0;

  // The working folder, which outside programs inherit and relative paths resolve against.
  virtual Status setWorkingFolder(const std::string& path) = 0;
  virtual std::string workingFolder() = 0;
  // The absolute Windows form of a path: relative paths resolved against the
  // working folder, "." and ".." folded, separators made "\"; no trailing "\".
  virtual std::string absolutePath(const std::string& path) = 0;

  // The whole text of a file, bytes as stored (ANSI text: no conversion);
  // readPieces gathered.
  Result<std::string> readText(const std::string& path);
  // Reads a file from its start a block at a time, handing each block to
  // `piece`, to its end or until `piece` returns false: for files too large to
  // hold at once (a cabinet's checksum).
  virtual Status readPieces(const std::string& path,
                            const std::function<bool(std::string_view)>& piece) = 0;
  // Writes a file, creating it or replacing its content.
  virtual Status writeText(const std::string& path, const std::string& content) = 0;

  // "Plain ANSI text" (the list files, the agreement, the debug file) in the
  // machine's ANSI code page (platform/ansiText.h). fromAnsi: a file's bytes
  // as UTF-8 (UTF-8 kept, a byte-order mark dropped, anything else read in the
  // code page: the machine's on Windows, Windows-1252 on Linux). toAnsi: UTF-8
  // text as the bytes to store (the machine's code page on Windows, where a
  // character it lacks becomes "?"; UTF-8 unchanged on Linux, whose tools read
  // UTF-8 and where no code page would hold every name).
  virtual std::string fromAnsi(const std::string& bytes) = 0;
  virtual std::string toAnsi(const std::string& text) = 0;

  // The short (8.3) form of an existing path; fails where the system keeps no
  // short names (Linux), and callers then keep the long path.
  virtual Result<std::string> shortPath(const std::string& path) = 0;
  // The Windows system folder ("C:\windows\system32"), without a trailing separator.
  virtual Result<std::string> systemFolder() = 0;
};

// Splits a text into lines as a line-by-line read does: a line ends at CR LF, LF
// or CR; a final line without an ending counts, an ending at the very end of the
// text does not start another line. "" gives no lines.
std::vector<std::string> splitLines(const std::string& text);

// The absolute Windows form of a path against a working folder ("C:\\x"): a
// drive path is kept on its drive, "\\x" goes to the working folder's drive, a
// relative path joins the working folder; "." and ".." fold, separators become
// "\\", the drive letter is upper case, and no trailing "\\" is left except
// after a bare drive ("C:\\"). A host path "/x" is taken as "Z:\\x".
std::string absoluteWindowsPath(const std::string& path, const std::string& workingFolder);

// readText + fromAnsi + splitLines: the lines of an ANSI text file as UTF-8.
Result<std::vector<std::string>> readLines(FileSystem& fs, const std::string& path);
// toAnsi + writeText.
Status writeAnsiText(FileSystem& fs, const std::string& path, const std::string& text);

}  // namespace pm
