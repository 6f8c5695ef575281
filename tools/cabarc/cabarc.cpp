#include "tools/cabarc/cabarc.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/text.h"
#include "tools/cabarc/cabinetReader.h"
#include "tools/cabarc/hostFiles.h"
#include "tools/cabarc/memberNames.h"

namespace pm::cabarc {
namespace {

bool endsWithSeparator(const std::string& s) {
  return !s.empty() && (s.back() == '\\' || s.back() == '/');
}

std::string withoutQuotes(std::string s) {
  std::erase(s, '"');
  return s;
}

// Collects the exit code: the smallest non-zero code seen wins.
struct Outcome {
  int code = kOk;
  void note(int c) {
    if (c != kOk && (code == kOk || c < code)) code = c;
  }
};

// A stored name as it may be shown on a terminal: control characters, which
// could steer the terminal, are written as \xNN.
std::string printable(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

constexpr int kExecutableAttribute = 0x40;  // _A_EXEC

std::string joinParts(const std::vector<std::string>& parts, char sep) {
  std::string s;
  for (const auto& p : parts) {
    if (!s.empty()) s += sep;
    s += p;
  }
  return s;
}

// ---------------------------------------------------------------- L

int listCabinet(const Invocation& inv, const HostPath& toHost, Writer& out, Writer& err) {
  auto reader = CabinetReader::open(toHost(inv.cabinet));
  if (!reader) {
    err << "Cabarc: cannot read the cabinet " << inv.cabinet << ": " << reader.message() << "\n";
    return kCabinetUnreadable;
  }
  const auto& members = reader.value().members();
  out << "Listing of cabinet " << inv.cabinet << "\n\n";
  out << "File name                                         File size  Date       Time\n";
  out << "------------------------------------------------- ---------- ---------- --------\n";
  for (const auto& m : members) {
    std::string name = printable(m.name);
    if (name.size() < 49) name.resize(49, ' ');
    std::string size = std::to_string(m.size);
    if (size.size() < 10) size.insert(0, 10 - size.size(), ' ');
    out << name << ' ' << size << ' ' << (m.time ? m.time->text() : "(no valid date)") << "\n";
  }
  out << "\n" << members.size() << (members.size() == 1 ? " file" : " files") << "\n";
  for (const auto& w : reader.value().takeWarnings()) err << "Cabarc: warning: " << w << "\n";
  return kOk;
}

// ---------------------------------------------------------------- T

// Reads every member through the decompressor into nothing, so that the data
// checksums and the compressed streams are checked, and writes no file: a
// cabinet that passes extracts whole.
int testCabinet(const Invocation& inv, const HostPath& toHost, Writer& out, Writer& err) {
  const std::string host = toHost(inv.cabinet);
  auto opened = CabinetReader::open(host);
  if (!opened) {
    err << "Cabarc: the cabinet " << inv.cabinet
        << " is damaged or incomplete: " << opened.message() << "\n";
    return kCabinetUnreadable;
  }
  CabinetReader& reader = opened.value();
  // A download cut short may still hold whole headers: its length gives it away.
  const auto size = hostFileSize(host);
  if (size && *size < reader.declaredLength()) {
    err << "Cabarc: the cabinet " << inv.cabinet << " is incomplete: it holds " << *size
        << " of its " << reader.declaredLength() << " bytes\n";
    return kCabinetUnreadable;
  }
  // Every member read through in one pass, its bytes thrown away.
  struct Checker : ExtractionSink {
    const Invocation& inv;
    const std::vector<CabinetMember>& members;
    Writer& err;
    Outcome outcome;
    Checker(const Invocation& i, const std::vector<CabinetMember>& m, Writer& e)
        : inv(i), members(m), err(e) {}
    OutputHandle begin(std::size_t) override { return kDiscardMember; }
    void end(std::size_t i, const Status& s) override {
      if (s) return;
      if (!members[i].elsewhere.empty())
        err << "Cabarc: cannot test " << printable(members[i].name) << ": " << s.message() << "\n";
      else
        err << "Cabarc: the cabinet " << inv.cabinet
            << " is damaged: " << printable(members[i].name) << ": " << s.message() << "\n";
      outcome.note(kMemberFailed);
    }
  } checker(inv, reader.members(), err);
  std::vector<std::size_t> all(reader.members().size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  reader.extractEach(all, checker);
  const auto& members = reader.members();
  const Outcome& outcome = checker.outcome;
  for (const auto& w : reader.takeWarnings()) err << "Cabarc: warning: " << w << "\n";
  if (outcome.code == kOk)
    out << "Cabinet " << inv.cabinet << " is intact: " << members.size()
        << (members.size() == 1 ? " file\n" : " files\n");
  return outcome.code;
}

// ---------------------------------------------------------------- X

// What the folders of the destination hold, each listed once and kept up to
// date as members land, so that a name's existing spelling is found without a
// system call per member, even with thousands of members in one folder.
class FolderIndex {
 public:
  // The entry of `folder` named `part`: that very name, else one that differs
  // only in letter case (the same pick every time); nothing when there is none.
  std::optional<std::string> find(const std::string& folder, const std::string& part) {
    const Listing& l = listing(folder);
    const auto it = l.folded.find(toLower(part));
    if (it == l.folded.end()) return std::nullopt;
    if (it->second != part && l.others.contains(part)) return part;
    return it->second;
  }
  void added(const std::string& entry) { add(listing(hostParent(entry)), hostName(entry)); }

 private:
  // Kept small, one entry per name: thousands of members may land in one folder.
  struct Listing {
    std::unordered_map<std::string, std::string> folded;  // lower case -> the least name
    std::unordered_set<std::string> others;  // names that are not the least of their case
  };
  static void add(Listing& l, const std::string& name) {
    auto [at, fresh] = l.folded.emplace(toLower(name), name);
    if (fresh || at->second == name) return;
    if (name < at->second) {  // the new name becomes the pick, the old one another
      l.others.insert(at->second);
      at->second = name;
    } else {
      l.others.insert(name);
    }
  }
  Listing& listing(const std::string& folder) {
    // One key however the folder is written: "dest\" (a destination) and
    // "dest" (a landed file's parent) are one folder.
    auto [it, fresh] = folders_.try_emplace(hostParent(hostJoin(folder, "x")));
    if (fresh) {
      for (const HostEntry& e : listFolder(folder)) add(it->second, e.name);
    }
    return it->second;
  }
  std::unordered_map<std::string, Listing> folders_;
};

// The parts of `parts` below `folder` as they are spelt there, and whether an
// entry is there. Where the exact name is missing, an existing entry that
// differs only in letter case is taken, as Windows would overwrite that file
// rather than make a second one.
std::pair<std::vector<std::string>, bool> resolveUnder(FolderIndex& index,
                                                       const std::string& folder,
                                                       const std::vector<std::string>& parts) {
  std::string at = folder;
  std::vector<std::string> spelt;
  bool existing = true;
  for (const auto& part : parts) {
    const auto found = existing ? index.find(at, part) : std::nullopt;
    existing = found.has_value();
    spelt.push_back(found ? *found : part);
    at = hostJoin(std::move(at), spelt.back());
  }
  return {spelt, existing};
}

// True when every part is a plain name, so that the path stays below its folder.
bool plainNames(const std::vector<std::string>& parts) {
  return !parts.empty() && std::all_of(parts.begin(), parts.end(), [](const std::string& p) {
    return !p.empty() && p != "." && p != ".." && std::none_of(p.begin(), p.end(), isHostSeparator);
  });
}

// Makes the folders `parts` (all but the file's own name) below the
// destination; refuses to go through a symbolic link, which could lead outside
// the destination.
Status makeFolders(const std::string& destHost, const std::vector<std::string>& parts,
                   FolderIndex& index) {
  std::string at = destHost;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    at = hostJoin(std::move(at), parts[i]);
    const HostEntry e = hostEntry(at);
    if (e.link) return Status::failure(at + " is a symbolic link or junction");
    if (e.exists) {
      if (!e.folder) return Status::failure(at + " is not a folder");
      continue;
    }
    if (Status s = makeHostFolder(at); !s) return s;
    index.added(at);
  }
  return {};
}

// Extraction, member by member as the cabinet gives them: each goes into a
// temporary file beside its target, renamed over the target when complete, so
// a failure never leaves a half-written file under the member's name.
class Extraction : public ExtractionSink {
 public:
  Extraction(const Invocation& inv, const std::vector<CabinetMember>& members,
             const std::vector<std::size_t>& wanted, std::string dest, Writer& out, Writer& err)
      : inv_(inv),
        members_(members),
        dest_(std::move(dest)),
        out_(out),
        err_(err),
        collide_(namesMayCollide(members, wanted, inv.keepPaths)) {}

  OutputHandle begin(std::size_t which) override {
    const int code = prepare(which);
    if (code != kOk) {
      outcome.note(code);
      return kSkipMember;
    }
    out_ << "Extracting " << shown_ << "\n";
    auto tmp = createTemporaryIn(hostParent(target_));
    if (!tmp) {
      err_ << "Cabarc: cannot extract " << shown_ << ": " << tmp.message() << "\n";
      outcome.note(kMemberFailed);
      return kSkipMember;
    }
    tmp_ = tmp.value().path;
    tmpFile_ = tmp.value().handle;
    begun_ = which;
    timeSet_ = true;
    return tmp.value().handle;
  }

  void written(std::size_t which, OutputHandle file) override {
    const CabinetMember& member = members_[which];
    timeSet_ = !member.time || setLocalModificationTime(file, *member.time);
  }

  void end(std::size_t which, const Status& result) override {
    const CabinetMember& member = members_[which];
    if (std::exchange(begun_, std::nullopt) != which) {  // never begun
      err_ << "Cabarc: cannot extract " << printable(member.name) << ": " << result.message()
           << "\n";
      outcome.note(kMemberFailed);
      return;
    }
    Status s = result;
    bool taken = false;
    if (s) {
      // A member marked executable (Cabarc N marks files that can be run) can be
      // run once extracted; others keep the mode they were created with.
      if ((member.attributes & kExecutableAttribute) != 0) markExecutable(tmp_);
      if (!timeSet_) err_ << "Cabarc: warning: cannot set the time of " << shown_ << "\n";
      if (!member.time)
        err_ << "Cabarc: warning: " << shown_ << " has no valid date in the cabinet\n";
      s = moveInto(tmp_, target_, inv_.overwrite, taken, tmpFile_);
      if (s) {
        if (collide_) index_.added(target_);
        return;
      }
    }
    removeHostFile(tmp_);
    if (taken) {  // a file of that name came meanwhile
      out_ << shown_ << " exists and is left alone (-o overwrites)\n";
      outcome.note(kLeftAlone);
      return;
    }
    err_ << "Cabarc: cannot extract " << shown_ << ": " << s.message() << "\n";
    outcome.note(kMemberFailed);
  }

  Outcome outcome;

 private:
  // Where member `which` goes (target_, shown_), or the code that says why it
  // does not, reported.
  int prepare(std::size_t which) {
    const CabinetMember& member = members_[which];
    const SafeName safe = checkMemberName(member.name);
    if (!safe.ok) {
      err_ << "Cabarc: refused member \"" << printable(member.name) << "\": " << safe.reason
           << "; it is not extracted\n";
      return kMemberRefused;
    }
    const std::vector<std::string> parts =
        inv_.keepPaths ? safe.parts : std::vector<std::string>{safe.parts.back()};
    shown_ = joinParts(parts, '\\');
    auto [spelt, exists] = resolveUnder(index_, dest_, parts);
    if (!plainNames(spelt)) {
      err_ << "Cabarc: refused member \"" << printable(member.name)
           << "\": it would land outside the destination\n";
      return kMemberRefused;
    }
    target_ = dest_;
    for (const std::string& part : spelt) target_ = hostJoin(std::move(target_), part);
    if (inv_.keepPaths) {
      if (Status s = makeFolders(dest_, spelt, index_); !s) {
        err_ << "Cabarc: cannot extract " << shown_ << ": " << s.message() << "\n";
        return kMemberFailed;
      }
    }
    if (!exists) return kOk;
    if (const HostEntry e = hostEntry(target_); e.folder && !e.link) {
      err_ << "Cabarc: cannot extract " << shown_ << ": a folder of that name exists\n";
      return kMemberFailed;
    }
    if (!inv_.overwrite) {
      out_ << shown_ << " exists and is left alone (-o overwrites)\n";
      return kLeftAlone;
    }
    return kOk;
  }

  const Invocation& inv_;
  const std::vector<CabinetMember>& members_;
  const std::string dest_;
  Writer& out_;
  Writer& err_;
  FolderIndex index_;
  // Whether two of the members may land on one name (letter case aside): only
  // then must the index learn of each file that lands, which would cost memory
  // per member.
  static bool namesMayCollide(const std::vector<CabinetMember>& members,
                              const std::vector<std::size_t>& wanted, bool keepPaths) {
    std::vector<std::size_t> hashes;
    hashes.reserve(wanted.size());
    for (const std::size_t i : wanted) {
      std::string_view name = members[i].name;
      if (!keepPaths) name = name.substr(name.find_last_of("\\/") + 1);
      hashes.push_back(std::hash<std::string>()(toLower(std::string(name))));
    }
    std::sort(hashes.begin(), hashes.end());
    return std::adjacent_find(hashes.begin(), hashes.end()) != hashes.end();
  }

  const bool collide_;
  // The member under way.
  std::optional<std::size_t> begun_;
  bool timeSet_ = true;
  std::string target_, tmp_;
  OutputHandle tmpFile_ = -1;
  std::string shown_;
};

int extractCabinet(const Invocation& inv, const HostPath& toHost, Writer& out, Writer& err) {
  auto opened = CabinetReader::open(toHost(inv.cabinet));
  if (!opened) {
    err << "Cabarc: cannot read the cabinet " << inv.cabinet << ": " << opened.message() << "\n";
    return kCabinetUnreadable;
  }
  CabinetReader& reader = opened.value();
  const std::string destHost = inv.destination ? toHost(*inv.destination) : currentHostFolder();
  if (!hostEntry(destHost).folder) {
    (void)makeHostFolder(destHost, true);
    if (!hostEntry(destHost).folder) {
      err << "Cabarc: cannot create the destination folder " << destHost << "\n";
      return kMemberFailed;
    }
  }

  std::vector<std::string> patterns;
  for (const auto& n : inv.names)
    if (auto p = withoutQuotes(n); !p.empty()) patterns.push_back(std::move(p));
  std::vector<bool> patternUsed(patterns.size(), false);

  const auto& members = reader.members();
  std::vector<std::size_t> wanted;
  for (std::size_t i = 0; i < members.size(); ++i) {
    bool picked = patterns.empty();
    for (std::size_t p = 0; p < patterns.size(); ++p) {
      if (patternPicksMember(patterns[p], members[i].name)) {
        picked = true;
        patternUsed[p] = true;
      }
    }
    if (picked) wanted.push_back(i);
  }
  Extraction extraction(inv, members, wanted, destHost, out, err);
  reader.extractEach(wanted, extraction);
  Outcome& outcome = extraction.outcome;
  for (std::size_t p = 0; p < patterns.size(); ++p) {
    if (!patternUsed[p]) {
      err << "Cabarc: no member of " << inv.cabinet << " matches \"" << patterns[p] << "\"\n";
      outcome.note(kNotFound);
    }
  }
  for (const auto& w : reader.takeWarnings()) err << "Cabarc: warning: " << w << "\n";
  return outcome.code;
}

// ---------------------------------------------------------------- N

// The parts of a command-line path that -p keeps: no drive, no root, no ".".
Result<std::vector<std::string>> keptParts(const std::string& text) {
  std::string_view rest = text;
  if (rest.size() >= 2 && rest[1] == ':') rest.remove_prefix(2);
  std::vector<std::string> parts;
  std::string cur;
  auto finish = [&]() -> bool {
    if (cur == "..") return false;
    if (!cur.empty() && cur != ".") parts.push_back(cur);
    cur.clear();
    return true;
  };
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      if (!finish()) return Status::failure("a path with \"..\" cannot be kept (-p)");
    } else {
      cur += c;
    }
  }
  if (!finish()) return Status::failure("a path with \"..\" cannot be kept (-p)");
  return parts;
}

struct Candidate {
  std::string host;
  std::vector<std::string> parts;  // stored with -p
};

void addTree(const std::string& folder, const std::vector<std::string>& prefix,
             const std::string& pattern, bool recurse, std::vector<Candidate>& out) {
  std::vector<HostEntry> entries = listFolder(folder);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& e : entries) {
    std::vector<std::string> parts = prefix;
    parts.push_back(e.name);
    if (e.file) {
      if (wildcardMatch(pattern, e.name)) out.push_back({hostJoin(folder, e.name), parts});
    } else if (recurse && e.folder && !e.link) {
      addTree(hostJoin(folder, e.name), parts, pattern, recurse, out);
    }
  }
}

int newCabinet(const Invocation& inv, const HostPath& toHost, Writer& out, Writer& err) {
  const std::string cabHost = toHost(inv.cabinet);
  std::vector<Candidate> candidates;
  Outcome outcome;
  for (const auto& arg : inv.names) {
    auto kept = keptParts(arg);
    if (inv.keepPaths && !kept) {
      err << "Cabarc: " << arg << ": " << kept.message() << "\n";
      outcome.note(kCannotCreate);
      continue;
    }
    std::vector<std::string> parts = kept ? kept.value() : std::vector<std::string>{};
    const auto cut = arg.find_last_of("\\/");
    const std::string last = cut == std::string::npos ? arg : arg.substr(cut + 1);
    if (hasWildcard(last)) {
      const std::string folderText = cut == std::string::npos ? "." : arg.substr(0, cut + 1);
      const std::string folder = toHost(folderText);
      if (!parts.empty()) parts.pop_back();
      const std::size_t before = candidates.size();
      if (hostEntry(folder).folder) addTree(folder, parts, last, inv.recurse, candidates);
      if (candidates.size() == before) {
        err << "Cabarc: no file matches " << arg << "\n";
        outcome.note(kCannotCreate);
      }
      continue;
    }
    const std::string host = toHost(arg);
    const HostEntry entry = hostEntry(host);
    if (entry.folder) {
      if (!inv.recurse) {
        err << "Cabarc: " << arg << " is a folder (-r adds what it holds)\n";
        outcome.note(kCannotCreate);
        continue;
      }
      addTree(host, parts, "*", true, candidates);
    } else if (entry.file) {
      candidates.push_back({host, parts});
    } else {
      err << "Cabarc: cannot find the file " << arg << "\n";
      outcome.note(kCannotCreate);
    }
  }

  std::vector<NewMember> members;
  std::map<std::string, std::string> seen;  // lower-case stored name -> as stored
  for (const auto& c : candidates) {
    if (sameHostFile(c.host, cabHost)) continue;
    const std::string stored = inv.keepPaths ? joinParts(c.parts, '\\') : hostName(c.host);
    if (const SafeName safe = checkMemberName(stored); !safe.ok) {
      err << "Cabarc: cannot store \"" << printable(stored) << "\": " << safe.reason << "\n";
      outcome.note(kCannotCreate);
      continue;
    }
    if (hostFileSize(c.host).value_or(UINT64_MAX) > 0x7FFFFFFFu) {
      err << "Cabarc: " << c.host << " is too large for a cabinet\n";
      outcome.note(kCannotCreate);
      continue;
    }
    if (auto [it, fresh] = seen.emplace(toLower(stored), stored); !fresh) {
      err << "Cabarc: two files would be stored as \"" << stored
          << "\" (-p keeps their folders apart)\n";
      outcome.note(kCannotCreate);
      continue;
    }
    members.push_back({stored, c.host});
  }
  if (outcome.code != kOk) {
    err << "Cabarc: the cabinet " << inv.cabinet << " was not written\n";
    return outcome.code;
  }
  if (members.empty()) {
    err << "Cabarc: no files to add; the cabinet " << inv.cabinet << " was not written\n";
    return kCannotCreate;
  }
  out << "Creating new cabinet " << inv.cabinet << " with compression "
      << (inv.compression == Compression::Mszip ? "MSZIP" : "NONE") << ":\n";
  for (const auto& m : members) out << "  -- adding " << m.storedName << "\n";
  if (Status s = writeCabinet(cabHost, members, inv.compression); !s) {
    err << "Cabarc: cannot write the cabinet " << inv.cabinet << ": " << s.message() << "\n";
    return kCannotCreate;
  }
  out << "Completed successfully\n";
  return kOk;
}

}  // namespace

Result<Invocation> parseCommandLine(const std::vector<std::string>& args) {
  Invocation inv;
  std::size_t i = 0;
  for (; i < args.size() && !args[i].empty() && args[i][0] == '-'; ++i) {
    const std::string opt = toLower(args[i]);
    if (opt == "-o") {
      inv.overwrite = true;
    } else if (opt == "-p") {
      inv.keepPaths = true;
    } else if (opt == "-r") {
      inv.recurse = true;
    } else if (opt == "-m") {
      if (++i >= args.size()) return Status::failure("-m needs a compression type (NONE or MSZIP)");
      const std::string type = toUpper(args[i]);
      if (type == "NONE") {
        inv.compression = Compression::None;
      } else if (type == "MSZIP") {
        inv.compression = Compression::Mszip;
      } else {
        return Status::failure("unsupported compression type " + args[i] +
                               " (NONE or MSZIP can be written)");
      }
    } else {
      return Status::failure("unknown option " + args[i]);
    }
  }
  if (i >= args.size()) return Status::failure("no command given");
  const std::string cmd = toUpper(args[i++]);
  if (cmd != "L" && cmd != "N" && cmd != "T" && cmd != "X")
    return Status::failure("unknown command " + cmd);
  inv.command = cmd[0];
  if (i >= args.size()) return Status::failure("no cabinet named");
  inv.cabinet = args[i++];
  inv.names.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  switch (inv.command) {
    case 'L':
    case 'T':
      if (!inv.names.empty()) return Status::failure(cmd + " takes only the cabinet");
      break;
    case 'N':
      if (inv.names.empty()) return Status::failure("N needs the files to add");
      break;
    case 'X':
      if (!inv.names.empty() && endsWithSeparator(inv.names.back())) {
        inv.destination = inv.names.back();
        inv.names.pop_back();
      }
      break;
  }
  return inv;
}

std::string usageText() {
  return R"(Cabarc - the cabinet archiver of PMSetup

Usage: Cabarc [options] command cabinet [names...] [destination\]
       Cabarc --help   (or /?: this text)

Commands:
  L   list the members of the cabinet (name, size, date and time)
  N   make a new cabinet of the files named (wildcards * and ? allowed)
  T   test the cabinet: read every member through, checking the data and
      its checksums, and write nothing
  X   extract members (all when none is named) into the destination, or
      into the working folder; the last argument is the destination when
      it ends in "\" or "/". "x" is the same as "X".

Options (before the command):
  -o               overwrite existing files; without it they are left alone
  -m NONE|MSZIP    compression for N (default MSZIP)
  -p               keep the relative paths of members (N stores them, X makes
                   the folders); without it only file names are used
  -r               N: go into folders and their subfolders

Member names match without regard to letter case; "*", "?" and "*.*" are
wildcards. A member whose name would land outside the destination (a "..",
a drive or a leading separator) is refused and not written.

Exit codes:
  0  success
  1  the command line is not understood
  2  the cabinet is missing, not a cabinet, truncated or damaged
  3  a member could not be decompressed or written (a damaged member, a
     full disk); nothing is left of it
  4  a member was refused because of its name
  5  a named member is not in the cabinet
  6  a file exists and was left alone (no -o)
  7  N: a file cannot be added or the cabinet cannot be written
When several problems meet, the smallest of these codes is returned.
)";
}

int run(const std::vector<std::string>& args, const HostPath& toHost, Writer& out, Writer& err) {
  if (args.empty()) {
    out << usageText();
    return kUsage;
  }
  if (args.size() == 1 &&
      (args[0] == "--help" || args[0] == "-h" || args[0] == "/?" || args[0] == "-?")) {
    out << usageText();
    return kOk;
  }
  auto inv = parseCommandLine(args);
  if (!inv) {
    err << "Cabarc: " << inv.message() << "\n\n" << usageText();
    return kUsage;
  }
  switch (inv.value().command) {
    case 'L':
      return listCabinet(inv.value(), toHost, out, err);
    case 'N':
      return newCabinet(inv.value(), toHost, out, err);
    case 'T':
      return testCabinet(inv.value(), toHost, out, err);
    default:
      return extractCabinet(inv.value(), toHost, out, err);
  }
}

}  // namespace pm::cabarc
