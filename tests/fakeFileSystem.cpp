#include "tests/fakeFileSystem.h"

#include <algorithm>
#include <cctype>
#include "platform/text.h"

namespace pm::testing {
namespace {

// "C:\a\b" -> "C:\a"; "C:\a" -> "C:\"; a drive root has no parent ("").
std::string parentOf(const std::string& abs) {
  if (abs.size() <= 3) return {};
  const auto slash = abs.rfind('\\');
  return slash <= 2 ? abs.substr(0, 3) : abs.substr(0, slash);
}

std::string nameOf(const std::string& abs) {
  return abs.substr(abs.rfind('\\') + 1);
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
  const std::string la = toLower(a), lb = toLower(b);
  return la != lb ? la < lb : a < b;
}

}  // namespace

FakeFileSystem::FakeFileSystem() {
  for (const char* root : {"C:\\", "Z:\\"})
    entries_[toLower(root)] = Entry{root, true, false, {}, now};
  addFolder("C:\\windows\\system32");
  addFolder("C:\\Program Files");
  addFolder("C:\\ProgramData");
}

std::string FakeFileSystem::absolutePath(const std::string& path) {
  return absoluteWindowsPath(path, workingFolder_);
}

std::string FakeFileSystem::resolve(const std::string& path) {
  const std::string abs = absolutePath(path);
  std::string out = abs.substr(0, 3);
  std::string rest = abs.size() > 3 ? abs.substr(3) : "";
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    const std::string candidate =
        (out.size() == 3 ? out : out + "\\") + rest.substr(start, end - start);
    auto it = entries_.find(toLower(candidate));
    out = it != entries_.end() ? it->second.path : candidate;
    start = end + 1;
  }
  return out;
}

FakeFileSystem::Entry* FakeFileSystem::find(const std::string& path) {
  auto it = entries_.find(toLower(absolutePath(path)));
  return it == entries_.end() ? nullptr : &it->second;
}

std::vector<std::string> FakeFileSystem::childrenOf(const std::string& key) {
  std::vector<std::string> out;
  for (const auto& [k, e] : entries_) {
    if (k != key && toLower(parentOf(e.path)) == key) out.push_back(k);
  }
  return out;
}

Status FakeFileSystem::check(const std::string& operation, const std::string& path) {
  return interceptor ? interceptor(operation, absolutePath(path)) : Status();
}

Status FakeFileSystem::fail(const std::string& what, const std::string& path,
                            const std::string& why) {
  return Status::failure(what + " \"" + absolutePath(path) + "\": " + why);
}

bool FakeFileSystem::folderExists(const std::string& path) {
  const Entry* e = find(path);
  return e && e->folder;
}

bool FakeFileSystem::fileExists(const std::string& path) {
  const Entry* e = find(path);
  return e && !e->folder;
}

Status FakeFileSystem::createFolder(const std::string& path) {
  if (Status s = check("createFolder", path); !s) return s;
  if (find(path)) return fail("Cannot create folder", path, "it exists already");
  const std::string abs = resolve(path);
  const Entry* parent = find(parentOf(abs));
  if (!parent || !parent->folder)
    return fail("Cannot create folder", path, "its parent folder does not exist");
  entries_[toLower(abs)] = Entry{abs, true, false, {}, now};
  return {};
}

Status FakeFileSystem::deleteFolder(const std::string& path, bool force) {
  if (Status s = check("deleteFolder", path); !s) return s;
  Entry* e = find(path);
  if (!e) return fail("Cannot delete folder", path, "it does not exist");
  if (!e->folder) return fail("Cannot delete folder", path, "it is not a folder");
  // Depth first, in name order, stopping at the first entry that may not go.
  std::function<std::string(const std::string&, std::string&)> remove =
      [&](const std::string& key, std::string& failedAt) -> std::string {
    Entry& dir = entries_[key];
    if (dir.readOnly && !force) {
      failedAt = dir.path;
      return "the folder is read-only";
    }
    for (const std::string& child : childrenOf(key)) {
      Entry& c = entries_[child];
      if (c.folder) {
        std::string why = remove(child, failedAt);
        if (!why.empty()) return why;
      } else {
        if (c.readOnly && !force) {
          failedAt = c.path;
          return "the file is read-only";
        }
        entries_.erase(child);
      }
    }
    entries_.erase(key);
    return {};
  };
  std::string failedAt;
  const std::string why = remove(toLower(absolutePath(path)), failedAt);
  if (why.empty()) return {};
  return Status::failure("Cannot delete folder \"" + absolutePath(path) + "\": \"" + failedAt +
                         "\": " + why);
}

Status FakeFileSystem::copyFile(const std::string& source, const std::string& target,
                                bool overwrite) {
  if (Status s = check("copyFile", target); !s) return s;
  const std::string what = "Cannot copy \"" + absolutePath(source) + "\" to";
  const Entry* from = find(source);
  if (!from) return fail(what, target, "the source cannot be read: No such file or directory");
  if (from->folder) return fail(what, target, "the source is not a file");
  if (const Entry* to = find(target)) {
    if (to->folder) return fail(what, target, "the target is a folder");
    if (to == from) return fail(what, target, "a file cannot be copied onto itself");
    if (!overwrite) return fail(what, target, "the target exists already");
    if (to->readOnly) return fail(what, target, "the target is read-only");
  }
  const std::string abs = resolve(target);
  const Entry* parent = find(parentOf(abs));
  if (!parent || !parent->folder) return fail(what, target, "the target folder does not exist");
  Entry copy = *from;
  copy.path = abs;
  entries_[toLower(abs)] = std::move(copy);
  return {};
}

Status FakeFileSystem::deleteFile(const std::string& path, bool force) {
  if (Status s = check("deleteFile", path); !s) return s;
  const Entry* e = find(path);
  if (!e) return fail("Cannot delete file", path, "it does not exist");
  if (e->folder) return fail("Cannot delete file", path, "it is a folder");
  if (e->readOnly && !force) return fail("Cannot delete file", path, "the file is read-only");
  entries_.erase(toLower(absolutePath(path)));
  return {};
}

Result<DateTime> FakeFileSystem::modificationTime(const std::string& path) {
  if (Status s = check("modificationTime", path); !s) return s;
  const Entry* e = find(path);
  if (!e) return fail("Cannot read the modification time of", path, "No such file or directory");
  return e->mtime;
}

Status FakeFileSystem::setModificationTime(const std::string& path, DateTime time) {
  if (Status s = check("setModificationTime", path); !s) return s;
  Entry* e = find(path);
  if (!e) return fail("Cannot set the modification time of", path, "No such file or directory");
  e->mtime = time;
  return {};
}

Result<std::vector<std::string>> FakeFileSystem::listFiles(const std::string& folder) {
  if (Status s = check("listFiles", folder); !s) return s;
  const Entry* e = find(folder);
  if (!e || !e->folder)
    return fail("Cannot list the files of", folder, "No such file or directory");
  std::vector<std::string> names;
  for (const std::string& child : childrenOf(toLower(e->path))) {
    if (!entries_[child].folder) names.push_back(nameOf(entries_[child].path));
  }
  std::sort(names.begin(), names.end(), lessIgnoringCase);
  return names;
}

Status FakeFileSystem::setWorkingFolder(const std::string& path) {
  if (Status s = check("setWorkingFolder", path); !s) return s;
  const Entry* e = find(path);
  if (!e || !e->folder)
    return fail("Cannot change the working folder to", path, "No such file or directory");
  workingFolder_ = e->path;
  return {};
}

std::string FakeFileSystem::workingFolder() {
  return workingFolder_;
}

Result<std::string> FakeFileSystem::readText(const std::string& path) {
  if (Status s = check("readText", path); !s) return s;
  const Entry* e = find(path);
  if (!e) return fail("Cannot read", path, "No such file or directory");
  if (e->folder) return fail("Cannot read", path, "it is not a file");
  return e->content;
}

Status FakeFileSystem::writeText(const std::string& path, const std::string& content) {
  if (Status s = check("writeText", path); !s) return s;
  if (Entry* e = find(path)) {
    if (e->folder) return fail("Cannot write", path, "it is a folder");
    if (e->readOnly) return fail("Cannot write", path, "the file is read-only");
    e->content = content;
    e->mtime = now;
    return {};
  }
  const std::string abs = resolve(path);
  const Entry* parent = find(parentOf(abs));
  if (!parent || !parent->folder) return fail("Cannot write", path, "its folder does not exist");
  entries_[toLower(abs)] = Entry{abs, false, false, content, now};
  return {};
}

Result<std::string> FakeFileSystem::shortPath(const std::string& path) {
  for (const auto& [k, v] : shortNames) {
    if (toLower(absolutePath(k)) == toLower(absolutePath(path))) return v;
  }
  return fail("No short name for", path, "this system keeps no short names");
}

Result<std::string> FakeFileSystem::systemFolder() {
  if (systemFolderFails) return Status::failure("The system folder cannot be found");
  return std::string("C:\\windows\\system32");
}

Status FakeFileSystem::renameFile(const std::string& from, const std::string& to) {
  if (Status s = check("renameFile", to); !s) return s;
  const std::string what = "Cannot rename \"" + absolutePath(from) + "\" to";
  const Entry* e = find(from);
  if (!e || e->folder) return fail(what, to, "the file does not exist");
  if (find(to)) return fail(what, to, "the new name is taken");
  const std::string abs = resolve(to);
  const Entry* parent = find(parentOf(abs));
  if (!parent || !parent->folder) return fail(what, to, "the target folder does not exist");
  Entry moved = *e;
  moved.path = abs;
  entries_.erase(toLower(absolutePath(from)));
  entries_[toLower(abs)] = std::move(moved);
  return {};
}

bool FakeFileSystem::isReadOnly(const std::string& path) {
  const Entry* e = find(path);
  return e && e->readOnly;
}

Status FakeFileSystem::clearReadOnly(const std::string& path) {
  if (Status s = check("clearReadOnly", path); !s) return s;
  Entry* e = find(path);
  if (!e || e->folder) return fail("Cannot make writable", path, "it is not a file");
  e->readOnly = false;
  return {};
}

bool FakeFileSystem::folderWritable(const std::string& path) {
  const Entry* e = find(path);
  return e && e->folder && !e->readOnly;
}

Result<bool> FakeFileSystem::sameContent(const std::string& a, const std::string& b) {
  auto ta = readText(a);
  if (!ta) return ta.status();
  auto tb = readText(b);
  if (!tb) return tb.status();
  return ta.value() == tb.value();
}

Result<std::string> FakeFileSystem::createPrivateTempFolder(const std::string& prefix) {
  if (Status s = check("createPrivateTempFolder", prefix); !s) return s;
  const std::string path = "Z:\\tmp\\" + prefix + "-" + std::to_string(++privateFolders_);
  addFolder(path);
  return path;
}

void FakeFileSystem::addFolder(const std::string& path) {
  const std::string abs = resolve(path);
  if (abs.size() <= 3) return;
  addFolder(parentOf(abs));
  const std::string key = toLower(abs);
  if (!entries_.count(key)) entries_[key] = Entry{resolve(abs), true, false, {}, now};
}

void FakeFileSystem::addFile(const std::string& path, const std::string& content,
                             std::optional<DateTime> mtime) {
  const std::string abs = resolve(path);
  addFolder(parentOf(abs));
  const std::string key = toLower(abs);
  // Resolved before the entry exists: an entry without its path yet would
  // resolve to nothing.
  const std::string resolved = resolve(abs);
  Entry& e = entries_[key];
  if (e.path.empty()) e.path = resolved;
  e.folder = false;
  e.content = content;
  e.mtime = mtime.value_or(now);
}

void FakeFileSystem::setReadOnly(const std::string& path, bool readOnly) {
  if (Entry* e = find(path)) e->readOnly = readOnly;
}

std::optional<std::string> FakeFileSystem::content(const std::string& path) {
  const Entry* e = find(path);
  if (!e || e->folder) return std::nullopt;
  return e->content;
}

}  // namespace pm::testing
