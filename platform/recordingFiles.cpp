// The file system of a plan (recording.h): the real machine underneath, the
// run's changes on top.
#include <algorithm>

#include "platform/recording.h"
#include "platform/text.h"

namespace pm {

namespace {

std::string parentOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string nameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// True when `path` is `folder` or lies below it (both in lower case).
bool within(const std::string& path, const std::string& folder) {
  return path == folder ||
         (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
          (path[folder.size()] == '\\' || folder.ends_with('\\')));
}

Status notFound(const std::string& path) {
  return Status::failure("\"" + path + "\" does not exist");
}

}  // namespace

void PlanRecord::unknown(const std::string& what) {
  if (std::find(unknowns.begin(), unknowns.end(), what) == unknowns.end()) unknowns.push_back(what);
}

RecordingFileSystem::RecordingFileSystem(FileSystem& real, std::string scratch, PlanRecord& record)
    : real_(real), scratch_(std::move(scratch)), record_(record) {}

std::string RecordingFileSystem::key(const std::string& path) {
  return toLower(absolutePath(path));
}

RecordingFileSystem::Place RecordingFileSystem::where(const std::string& path) {
  const std::string abs = absolutePath(path);
  std::string k = toLower(abs);
  if (inScratch(abs)) return {false, abs, nullptr};
  for (std::string at = k; !at.empty(); at = parentOf(at)) {
    const auto found = nodes_.find(at);
    if (found == nodes_.end()) continue;
    const Node& node = found->second;
    if (node.kind == Node::Absent) return {true, {}, nullptr};
    if (at == k) return {false, node.real, &node};
    if (node.kind == Node::File) return {true, {}, nullptr};
    return {false, node.real + abs.substr(at.size()), nullptr};
  }
  return {false, abs, nullptr};
}

std::string RecordingFileSystem::realPath(const std::string& path) {
  const Place place = where(path);
  return place.gone ? std::string() : place.real;
}

bool RecordingFileSystem::inScratch(const std::string& realPath) const {
  return within(toLower(realPath), toLower(scratch_));
}

std::string RecordingFileSystem::toReal(const std::string& text) {
  std::string out = text;
  for (const auto& [k, node] : nodes_) {
    if (node.kind != Node::Shadow) continue;
    for (std::size_t at = toLower(out).find(k); at != std::string::npos;
         at = toLower(out).find(k, at + node.real.size())) {
      out.replace(at, k.size(), node.real);
    }
  }
  return out;
}

FileState RecordingFileSystem::stateIn(FileSystem& fs, const std::string& path) {
  FileState state;
  state.link = fs.isLink(path);
  state.folder = fs.folderExists(path);
  state.exists = state.link || state.folder || fs.fileExists(path);
  if (!state.exists || state.folder) return state;
  (void)fs.readPieces(path, [&](std::string_view piece) {
    state.size += piece.size();
    return true;
  });
  if (auto time = fs.modificationTime(path)) state.time = time.value();
  return state;
}

void RecordingFileSystem::touch(const std::string& path, const std::string& origin) {
  const std::string abs = absolutePath(path);
  const std::string k = toLower(abs);
  if (!before_.count(k)) {
    before_[k] = stateIn(real_, abs);
    touched_.push_back(abs);
  }
  origin_[k] = origin;
}

void RecordingFileSystem::forgetBelow(const std::string& folderKey) {
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    it = it->first != folderKey && within(it->first, folderKey) ? nodes_.erase(it) : std::next(it);
  }
}

std::string RecordingFileSystem::newScratchName(const char* kind) {
  return scratch_ + "\\" + kind + std::to_string(++counter_);
}

Status RecordingFileSystem::inShadow(const std::string& path, const std::string& origin,
                                     Status done) {
  if (done && !inScratch(absolutePath(path))) touch(path, origin);
  return done;
}

Status RecordingFileSystem::needParent(const std::string& path) {
  const std::string parent = parentOf(absolutePath(path));
  if (!parent.empty() && !folderExists(parent)) return notFound(parent);
  return {};
}

bool RecordingFileSystem::askReal(const std::string& path,
                                  bool (FileSystem::*question)(const std::string&)) {
  const Place place = where(path);
  return !place.gone && (real_.*question)(place.real);
}

bool RecordingFileSystem::folderExists(const std::string& path) {
  return askReal(path, &FileSystem::folderExists);
}

bool RecordingFileSystem::fileExists(const std::string& path) {
  return askReal(path, &FileSystem::fileExists);
}

Status RecordingFileSystem::createFolder(const std::string& path) {
  const Place place = where(path);
  if (!place.gone && (real_.folderExists(place.real) || real_.fileExists(place.real)))
    return Status::failure("\"" + absolutePath(path) + "\" exists already");
  if (Status parent = needParent(path); !parent) return parent;
  if (inScratch(place.real)) return inShadow(path, "", real_.createFolder(place.real));
  // A folder the run makes is a real one of the plan's own.
  const std::string shadow = newScratchName("d");
  if (Status made = real_.createFolder(shadow); !made) return made;
  touch(path, "");
  const std::string k = key(path);
  forgetBelow(k);
  nodes_[k] = Node{Node::Shadow, shadow, {}};
  return {};
}

Status RecordingFileSystem::deleteFolder(const std::string& path, bool force) {
  const Place place = where(path);
  const bool link = !place.gone && real_.isLink(place.real);
  if (place.gone || (!link && !real_.folderExists(place.real))) return notFound(absolutePath(path));
  if (inScratch(place.real) && !place.node)
    return inShadow(path, "", real_.deleteFolder(place.real, force));
  if (!force && !link) {
    if (auto files = listFiles(path)) {
      for (const std::string& name : files.value()) {
        if (isReadOnly(absolutePath(path) + "\\" + name))
          return Status::failure("\"" + absolutePath(path) + "\\" + name + "\" is read-only");
      }
    }
  }
  if (place.node && place.node->kind == Node::Shadow) (void)real_.deleteFolder(place.real, true);
  touch(path, "");
  const std::string k = key(path);
  forgetBelow(k);
  nodes_[k] = Node{Node::Absent, {}, {}};
  return {};
}

Status RecordingFileSystem::copyFile(const std::string& source, const std::string& target,
                                     bool overwrite) {
  const Place from = where(source);
  if (from.gone || !real_.fileExists(from.real)) return notFound(absolutePath(source));
  const Place to = where(target);
  if (!to.gone && real_.fileExists(to.real)) {
    if (!overwrite) return Status::failure("\"" + absolutePath(target) + "\" exists already");
    if (isReadOnly(target)) return Status::failure("\"" + absolutePath(target) + "\" is read-only");
  }
  if (Status parent = needParent(target); !parent) return parent;
  if (inScratch(to.real) && !to.node)
    return inShadow(target, "copy of " + absolutePath(source),
                    real_.copyFile(from.real, to.real, true));
  const std::string blob = newScratchName("f");
  if (Status copied = real_.copyFile(from.real, blob, true); !copied) return copied;
  touch(target, "copy of " + absolutePath(source));
  nodes_[key(target)] = Node{Node::File, blob, {}};
  return {};
}

Status RecordingFileSystem::deleteFile(const std::string& path, bool force) {
  const Place place = where(path);
  if (place.gone || (!real_.fileExists(place.real) && !real_.isLink(place.real)))
    return notFound(absolutePath(path));
  if (!force && isReadOnly(path))
    return Status::failure("\"" + absolutePath(path) + "\" is read-only");
  if (inScratch(place.real) && !place.node)
    return inShadow(path, "", real_.deleteFile(place.real, true));
  touch(path, "");
  nodes_[key(path)] = Node{Node::Absent, {}, {}};
  return {};
}

Status RecordingFileSystem::renameFile(const std::string& from, const std::string& to) {
  const Place source = where(from);
  if (source.gone || !real_.fileExists(source.real)) return notFound(absolutePath(from));
  const Place target = where(to);
  if (!target.gone && (real_.fileExists(target.real) || real_.folderExists(target.real) ||
                       real_.isLink(target.real)))
    return Status::failure("\"" + absolutePath(to) + "\" exists already");
  if (Status parent = needParent(to); !parent) return parent;
  const bool sourceOwn = inScratch(source.real) && !source.node;
  if (sourceOwn && inScratch(target.real) && !target.node) {
    (void)inShadow(from, "", {});
    return inShadow(to, "renamed from " + absolutePath(from),
                    real_.renameFile(source.real, target.real));
  }
  // The content stays where it is: a real file is never changed by the plan,
  // and one in a folder of the run's own moves to a name the run cannot reach.
  std::string content = source.real;
  if (sourceOwn) {
    content = newScratchName("f");
    if (Status moved = real_.renameFile(source.real, content); !moved) return moved;
  }
  const std::optional<bool> readOnly = source.node ? source.node->readOnly : std::nullopt;
  touch(from, "");
  touch(to, "renamed from " + absolutePath(from));
  nodes_[key(from)] = Node{Node::Absent, {}, {}};
  nodes_[key(to)] = Node{Node::File, content, readOnly};
  return {};
}

bool RecordingFileSystem::isLink(const std::string& path) {
  const Place place = where(path);
  return !place.gone && !place.node && real_.isLink(place.real);
}

bool RecordingFileSystem::isReadOnly(const std::string& path) {
  const Place place = where(path);
  if (place.gone) return false;
  if (place.node && place.node->readOnly) return *place.node->readOnly;
  return real_.isReadOnly(place.real);
}

Status RecordingFileSystem::clearReadOnly(const std::string& path) {
  const Place place = where(path);
  if (place.gone || !real_.fileExists(place.real)) return notFound(absolutePath(path));
  if (inScratch(place.real) && !place.node) return real_.clearReadOnly(place.real);
  touch(path, place.node ? origin_[key(path)] : "");
  Node node = place.node ? *place.node : Node{Node::File, place.real, {}};
  node.readOnly = false;
  nodes_[key(path)] = node;
  return {};
}

bool RecordingFileSystem::inUse(const std::string& path) {
  return askReal(path, &FileSystem::inUse);
}

bool RecordingFileSystem::folderWritable(const std::string& path) {
  return askReal(path, &FileSystem::folderWritable);
}

Result<bool> RecordingFileSystem::sameContent(const std::string& a, const std::string& b) {
  const Place first = where(a);
  const Place second = where(b);
  if (first.gone) return notFound(absolutePath(a));
  if (second.gone) return notFound(absolutePath(b));
  return real_.sameContent(first.real, second.real);
}

Result<std::string> RecordingFileSystem::createPrivateTempFolder(const std::string& prefix,
                                                                 bool outlivesRun) {
  // The install's folder would lie in the user's temporary folder, under a
  // random name drawn when it runs: a real one, made and removed at once,
  // shows where; the plan names it with the random part as "XXXXXX".
  auto probe = real_.createPrivateTempFolder(prefix, true);
  if (!probe) return probe;
  (void)real_.deleteFolder(probe.value(), true);
  const std::string folder = parentOf(probe.value()) + "\\" + prefix + "-XXXXXX";
  const std::string shadow = newScratchName("d");
  if (Status made = real_.createFolder(shadow); !made) return made;
  touch(folder, "");
  nodes_[key(folder)] = Node{Node::Shadow, shadow, {}};
  record_.unknown("the random name of the private folder " + folder +
                  " that the install would make" + (outlivesRun ? " (it outlives the run)" : ""));
  return folder;
}

namespace {
class NoLock : public FileLock {};
}  // namespace

Result<std::unique_ptr<FileLock>> RecordingFileSystem::lockFile(const std::string& path) {
  // The install makes the lock file for the run and removes it at its end.
  if (isLink(path) || folderExists(path) || fileExists(path))
    record_.unknown("whether " + absolutePath(path) +
                    ", which exists now, is held by a run on another computer");
  return std::unique_ptr<FileLock>(std::make_unique<NoLock>());
}

Result<DateTime> RecordingFileSystem::modificationTime(const std::string& path) {
  const Place place = where(path);
  if (place.gone) return notFound(absolutePath(path));
  return real_.modificationTime(place.real);
}

Status RecordingFileSystem::setModificationTime(const std::string& path, DateTime time) {
  const Place place = where(path);
  if (place.gone || !real_.fileExists(place.real)) return notFound(absolutePath(path));
  if (inScratch(place.real) && !place.node) return real_.setModificationTime(place.real, time);
  std::string blob = place.real;
  if (!inScratch(blob)) {
    blob = newScratchName("f");
    if (Status copied = real_.copyFile(place.real, blob, true); !copied) return copied;
  }
  touch(path, place.node ? origin_[key(path)] : "");
  const std::optional<bool> readOnly = place.node ? place.node->readOnly : std::nullopt;
  nodes_[key(path)] = Node{Node::File, blob, readOnly};
  return real_.setModificationTime(blob, time);
}

Result<std::vector<std::string>> RecordingFileSystem::listFiles(const std::string& folder) {
  const Place place = where(folder);
  if (place.gone) return notFound(absolutePath(folder));
  auto listed = real_.listFiles(place.real);
  if (!listed || (inScratch(place.real) && !place.node)) return listed;
  std::vector<std::string> names = std::move(listed).value();
  const std::string k = key(folder);
  for (const auto& [at, node] : nodes_) {
    if (parentOf(at) != k) continue;
    const auto same = [&](const std::string& name) { return toLower(name) == nameOf(at); };
    names.erase(std::remove_if(names.begin(), names.end(), same), names.end());
  }
  for (const std::string& path : touched_) {
    const std::string pk = toLower(path);
    const auto node = nodes_.find(pk);
    if (parentOf(pk) == k && node != nodes_.end() && node->second.kind == Node::File)
      names.push_back(nameOf(path));
  }
  std::sort(names.begin(), names.end());
  return names;
}

Status RecordingFileSystem::setWorkingFolder(const std::string& path) {
  const Place place = where(path);
  if (place.gone || !real_.folderExists(place.real)) return notFound(absolutePath(path));
  if (Status set = real_.setWorkingFolder(place.real); !set) return set;
  cwd_ = absolutePath(path);
  return {};
}

std::string RecordingFileSystem::workingFolder() {
  if (cwd_.empty()) cwd_ = real_.workingFolder();
  return cwd_;
}

std::string RecordingFileSystem::absolutePath(const std::string& path) {
  const bool relative =
      !(path.size() >= 2 && path[1] == ':') && !path.starts_with("\\") && !path.starts_with("/");
  return relative ? absoluteWindowsPath(path, workingFolder()) : real_.absolutePath(path);
}

Status RecordingFileSystem::readPieces(const std::string& path,
                                       const std::function<bool(std::string_view)>& piece) {
  const Place place = where(path);
  if (place.gone) return notFound(absolutePath(path));
  return real_.readPieces(place.real, piece);
}

Status RecordingFileSystem::writeText(const std::string& path, const std::string& content) {
  const Place place = where(path);
  if (!place.gone && real_.fileExists(place.real) && isReadOnly(path))
    return Status::failure("\"" + absolutePath(path) + "\" is read-only");
  if (!place.gone && inScratch(place.real) && !place.node)
    return inShadow(path, "written", real_.writeText(place.real, content));
  if (Status parent = needParent(path); !parent) return parent;
  const std::string blob = newScratchName("f");
  if (Status written = real_.writeText(blob, content); !written) return written;
  touch(path, "written");
  nodes_[key(path)] = Node{Node::File, blob, {}};
  return {};
}

Result<std::string> RecordingFileSystem::shortPath(const std::string& path) {
  // A file the plan replaced keeps the short name it has now.
  const std::string abs = absolutePath(path);
  const Place place = where(path);
  if (!place.gone && !inScratch(abs) && real_.fileExists(abs)) return real_.shortPath(abs);
  if (place.gone || place.node || inScratch(place.real) || !real_.fileExists(place.real)) {
    record_.unknown("the short (8.3) names of files that the install would make");
    return Status::failure("no short name in a plan");
  }
  return real_.shortPath(place.real);
}

std::vector<FileChange> RecordingFileSystem::changes() {
  std::vector<FileChange> out;
  for (const std::string& path : touched_) {
    const std::string k = toLower(path);
    FileChange change{path, before_[k], stateIn(*this, path), origin_[k], 0};
    if (!change.before.exists && !change.after.exists) continue;
    if (change.before.folder && change.after.folder) continue;  // a folder kept
    if (change.before.folder && !change.before.link && !change.after.exists) {
      if (auto files = real_.listFiles(path)) change.folderFiles = files.value().size();
    }
    out.push_back(std::move(change));
  }
  return out;
}

}  // namespace pm
