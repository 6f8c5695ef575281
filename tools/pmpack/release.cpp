#include "tools/pmpack/release.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "packages/cabinet.h"
#include "packages/seal.h"
#include "platform/text.h"

namespace pm::pmpack {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLargestDescription = 1024 * 1024;
constexpr const char* kBlankDatabase = "Dorvane.mdb";

std::string at(const Release& r, int line) {
  return r.fileName + ":" + std::to_string(line) + ": ";
}

// "text" -> text (quoted = true); fails on any other double quote.
Result<std::string> unquote(std::string text, bool& quoted) {
  quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (quoted) text = text.substr(1, text.size() - 2);
  if (text.find('"') != std::string::npos) return Status::failure("a double quote out of place");
  return text;
}

fs::path relativeTo(const fs::path& base, std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return base / hostPath(text);
}

}  // namespace

std::string utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path hostPath(const std::string& utf8Text) {
  return fs::path(std::u8string(utf8Text.begin(), utf8Text.end()));
}

Result<Release> parseRelease(const std::string& text, const std::string& fileName,
                             const fs::path& base) {
  Release r;
  r.fileName = fileName;
  const std::array<const char*, 3> names{kMainCabinet, kLibraryCabinet, kHelpCabinet};
  for (std::size_t i = 0; i < names.size(); ++i) {
    r.cabinets[i].name = names[i];
    r.cabinets[i].listFile = listFileOf(names[i]);
  }
  CabinetPlan* section = nullptr;
  fs::path folder = base;
  bool folderGiven = false;
  std::set<std::string> keys;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  const auto fail = [&](const std::string& what) { return Status::failure(at(r, lineNo) + what); };
  while (std::getline(in, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (std::any_of(line.begin(), line.end(), [](char c) {
          return (static_cast<unsigned char>(c) < 32 && c != '\t') || c == 127;
        }))
      return fail("control characters are not allowed");

    if (line.front() == '[') {
      if (line.back() != ']') return fail("a section is written [NAME.CAB]");
      const std::string name = trim(line.substr(1, line.size() - 2));
      const auto it = std::find_if(r.cabinets.begin(), r.cabinets.end(), [&](const CabinetPlan& c) {
        return equalsIgnoreCase(c.name, name);
      });
      if (it == r.cabinets.end())
        return fail("unknown cabinet [" + name +
                    "] (known: Pelmora.CAB, PLMLibrary.CAB, PLMHelp.CAB)");
      if (it->line != 0)
        return fail("[" + it->name + "] is given twice (first on line " + std::to_string(it->line) +
                    ")");
      section = &*it;
      section->line = lineNo;
      folder = base;
      folderGiven = false;
      continue;
    }

    const std::size_t blank = line.find_first_of(" \t=");
    const std::string word = toLower(line.substr(0, blank));
    std::string rest = blank == std::string::npos ? "" : trim(line.substr(blank));
    if (section && (word == "install" || word == "file") && (rest.empty() || rest[0] != '=')) {
      const std::size_t from = rest.find('<');
      bool quoted = false;
      const auto name = unquote(trim(rest.substr(0, from)), quoted);
      if (!name) return fail(name.message());
      if (name->empty()) return fail("\"" + word + "\" needs the file's name in the cabinet");
      Member m{name.value(), folder / hostPath(name.value()), word == "install", quoted, lineNo};
      if (from != std::string::npos) {
        bool sourceQuoted = false;
        const auto source = unquote(trim(rest.substr(from + 1)), sourceQuoted);
        if (!source) return fail(source.message());
        if (source->empty()) return fail("a file is missing after \"<\"");
        m.source = relativeTo(folder, source.value());
      }
      section->members.push_back(std::move(m));
      continue;
    }

    if (rest.empty() || rest[0] != '=')
      return fail("expected \"key = value\"" +
                  std::string(section ? ", install NAME or file NAME" : "") + ", found \"" + line +
                  "\"");
    bool quoted = false;
    const auto value = unquote(trim(rest.substr(1)), quoted);
    if (!value) return fail(value.message());
    if (value->empty()) return fail("\"" + word + "\" needs a value");
    if (section) {
      if (word != "folder")
        return fail("unknown key \"" + word + "\" in a cabinet (known: folder)");
      if (folderGiven) return fail("\"folder\" is given twice in [" + section->name + "]");
      if (!section->members.empty()) return fail("\"folder\" must come before the section's files");
      folder = relativeTo(base, value.value());
      folderGiven = true;
      continue;
    }
    if (!keys.insert(word).second) return fail("\"" + word + "\" is given twice");
    if (word == "version") {
      r.version = value.value();
    } else if (word == "agreement") {
      r.agreement = relativeTo(base, value.value());
      r.agreementLine = lineNo;
    } else {
      return fail("unknown key \"" + word +
                  "\" (known: version, agreement; then [NAME.CAB] sections)");
    }
  }
  for (const char* key : {"version", "agreement"}) {
    if (!keys.count(key)) return Status::failure(fileName + ": \"" + key + "\" is missing");
  }
  for (const CabinetPlan& c : r.cabinets) {
    if (c.line == 0) return Status::failure(fileName + ": the section [" + c.name + "] is missing");
  }
  return r;
}

Result<Release> readRelease(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::failure(utf8(file) + ": cannot read the release description");
  std::string text(kLargestDescription + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kLargestDescription)
    return Status::failure(utf8(file) + ": larger than 1 MiB; is it the right file?");
  if (text.find('\0') != std::string::npos) return Status::failure(utf8(file) + ": not text");
  return parseRelease(text, utf8(file), file.parent_path());
}

std::vector<std::string> checkRelease(const Release& r) {
  std::vector<std::string> errors;
  std::error_code ec;
  const auto regularFile = [&](const fs::path& p, int line, const std::string& what) {
    if (fs::is_regular_file(p, ec)) return true;
    errors.push_back(at(r, line) + what + utf8(p) +
                     (fs::exists(p, ec) ? " is not a file" : " does not exist"));
    return false;
  };
  regularFile(r.agreement, r.agreementLine, "agreement: ");

  // Names PMPack writes itself, or that the installer keeps in its temporary folder.
  std::set<std::string> ours{toLower(kSealFile)};
  for (const CabinetPlan& c : r.cabinets) {
    ours.insert(toLower(c.name));
    ours.insert(toLower(c.listFile));
  }
  for (const CabinetPlan& c : r.cabinets) {
    std::map<std::string, const Member*> seen;
    std::uintmax_t total = 0;
    bool database = false;
    for (const Member& m : c.members) {
      const std::string where = at(r, m.line) + m.name + ": ";
      if (const std::string problem = windowsNameProblem(m.name); !problem.empty()) {
        errors.push_back(where + "the name " + problem);
        continue;
      }
      if (m.name.front() == '-') {
        errors.push_back(where +
                         "the name starts with \"-\", which the cabinet tool takes for an option");
        continue;
      }
      if (ours.count(toLower(m.name))) {
        errors.push_back(
            where +
            "the name is one the installer folder uses itself (PMPack writes the list files)");
        continue;
      }
      const auto [it, fresh] = seen.emplace(toLower(m.name), &m);
      if (!fresh) {
        errors.push_back(where + "differs only in letter case from " + it->second->name +
                         " (line " + std::to_string(it->second->line) + ")");
      }
      if (c.name == kMainCabinet && equalsIgnoreCase(m.name, kBlankDatabase)) {
        database = true;
        if (m.install)
          errors.push_back(where +
                           "the blank database must be \"file\", not \"install\": the database "
                           "stage puts it in place, copying it again would empty the user's data");
      }
      if (!regularFile(m.source, m.line, m.name + ": ")) continue;
      const std::uintmax_t size = fs::file_size(m.source, ec);
      total += size;
      if (size > kLargestFolder)
        errors.push_back(where + utf8(m.source) + " has " + std::to_string(size) +
                         " bytes; a cabinet member can hold at most " +
                         std::to_string(kLargestFolder));
    }
    if (total > kLargestFolder)
      errors.push_back(at(r, c.line) + c.name + ": its files have " + std::to_string(total) +
                       " bytes together; one cabinet can hold at most " +
                       std::to_string(kLargestFolder));
    if (c.members.size() + 1 > kMostMembers)
      errors.push_back(at(r, c.line) + c.name + ": more than " + std::to_string(kMostMembers - 1) +
                       " files");
    if (c.name == kMainCabinet && !database)
      errors.push_back(at(r, c.line) + c.name + ": the blank database " + kBlankDatabase +
                       " is missing (add \"file " + kBlankDatabase + "\")");
  }
  return errors;
}

std::string listText(const CabinetPlan& cabinet) {
  std::string text;
  for (const Member& m : cabinet.members) {
    if (!m.install) continue;
    const bool quote = m.quoted || m.name.find(' ') != std::string::npos;
    text += (quote ? "\"" + m.name + "\"" : m.name) + "\r\n";
  }
  return text;
}

}  // namespace pm::pmpack
