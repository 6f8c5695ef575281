#include "packages/seal.h"

#include <algorithm>
#include <set>

#include "packages/cabinet.h"
#include "packages/sha256.h"
#include "platform/text.h"

namespace pm {

namespace {

// A seal names a handful of files; anything much larger is not one.
constexpr std::size_t kLargestSeal = 64 * 1024;
// The most a cabinet's header and file table can take (65535 members with
// names of 256 bytes, folders and reserved areas included).
constexpr std::size_t kLargestTable = 24 * 1024 * 1024;

std::uint32_t le(std::string_view b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

bool isHex(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

}  // namespace

std::string windowsNameProblem(const std::string& name) {
  if (name.empty()) return "is empty";
  if (name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos)
    return "is a path, not a file name (it could land outside its folder)";
  if (std::any_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 32; }))
    return "holds a control character";
  if (const auto at = name.find_first_of(":*?\"<>|"); at != std::string::npos)
    return std::string("holds \"") + name[at] + "\", which Windows file names cannot hold";
  if (name.size() > 255) return "is longer than 255 bytes";
  if (name.back() == '.' || name.back() == ' ')
    return "ends in a dot or a blank, which Windows drops";
  const std::string stem = toUpper(trim(name.substr(0, name.find('.')), " ", Ends::Right));
  const std::string_view port = std::string_view(stem).substr(0, 3);
  const std::string_view digit =
      std::string_view(stem).substr(std::min<std::size_t>(3, stem.size()));
  // COM and LPT with a digit, also the superscript ones Windows reserves.
  const bool portName = (port == "COM" || port == "LPT") &&
                        ((digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') ||
                         digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3");
  if (portName || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
      stem == "CONIN$" || stem == "CONOUT$")
    return "is a Windows device name";
  return {};
}

std::string listFileOf(const std::string& cabinet) {
  if (equalsIgnoreCase(cabinet, kMainCabinet)) return "upgrade.txt";
  if (equalsIgnoreCase(cabinet, kLibraryCabinet)) return "library.txt";
  if (equalsIgnoreCase(cabinet, kHelpCabinet)) return "help.txt";
  return {};
}

std::string sealText(const std::vector<SealLine>& lines) {
  std::string text;
  for (const SealLine& l : lines) text += l.sha256 + "  " + l.name + "\n";
  return text;
}

Result<std::vector<SealLine>> parseSeal(std::string_view text) {
  if (text.size() > kLargestSeal) return Status::failure("it is larger than a seal can be");
  std::vector<SealLine> lines;
  std::set<std::string> names;
  std::size_t lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos)
      return Status::failure("line " + std::to_string(lineNo) + " has no line ending");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto bad = [&](const std::string& what) {
      return Status::failure("line " + std::to_string(lineNo) + " " + what);
    };
    if (line.size() < 67 || !isHex(line.substr(0, 64)) || line[64] != ' ' ||
        (line[65] != ' ' && line[65] != '*'))
      return bad("is not \"<SHA-256>  <file name>\"");
    SealLine l{toLower(std::string(line.substr(0, 64))), std::string(line.substr(66))};
    if (!isPortableFileName(l.name)) return bad("does not name a file of the installer folder");
    if (!names.insert(toLower(l.name)).second) return bad("names " + l.name + " again");
    lines.push_back(std::move(l));
  }
  if (lines.empty()) return Status::failure("it names no file");
  return lines;
}

Result<std::vector<CabinetEntry>> cabinetEntries(std::string_view head) {
  const auto bad = [](const std::string& what) {
    return Status::failure("its member table " + what);
  };
  if (head.size() < 36 || head.substr(0, 4) != "MSCF") return bad("is missing");
  const std::uint32_t filesAt = le(head, 16, 4);
  const std::uint32_t count = le(head, 28, 2);
  std::vector<CabinetEntry> entries;
  std::size_t at = filesAt;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at >= head.size() || head.size() - at <= 16) return bad("is cut short");
    const std::size_t nameEnd = head.find('\0', at + 16);
    if (nameEnd == std::string_view::npos || nameEnd - (at + 16) > 255)
      return bad("holds a name that does not end");
    entries.push_back({std::string(head.substr(at + 16, nameEnd - (at + 16))), le(head, at, 4)});
    at = nameEnd + 1;
  }
  return entries;
}

Result<std::string> fileSha256(FileSystem& fs, const std::string& path, std::string* head,
                               std::size_t headBytes) {
  Sha256 sha;
  Status read = fs.readPieces(path, [&](std::string_view piece) {
    sha.update(piece);
    if (head && head->size() < headBytes)
      head->append(piece.substr(0, std::min(piece.size(), headBytes - head->size())));
    return true;
  });
  if (!read) return read;
  return sha.hex();
}

std::string damagedInstallerMessage(const std::string& name, const std::string& path) {
  return "The installer file " + name + " is damaged or incomplete (" + path +
         "), perhaps by an interrupted download. Please fetch the installer again and run the "
         "new copy. Nothing has been changed.";
}

Status checkSeal(FileSystem& fs, const std::string& installerFolder) {
  const std::string sealPath = installerFolder + "\\" + kSealFile;
  if (!fs.fileExists(sealPath) && !fs.isLink(sealPath)) return {};
  const auto damaged = [&](const std::string& name, const std::string& why) {
    return Status::failure(damagedInstallerMessage(name, installerFolder + "\\" + name) + " (" +
                           why + ")");
  };
  std::string text;
  Status read = fs.readPieces(sealPath, [&](std::string_view piece) {
    text.append(piece);
    return text.size() <= kLargestSeal;
  });
  if (!read) return damaged(kSealFile, read.message());
  const auto seal = parseSeal(text);
  if (!seal) return damaged(kSealFile, seal.message());

  for (const char* required : {kMainCabinet, kLibraryCabinet, kHelpCabinet, kAgreementFile}) {
    if (std::none_of(seal->begin(), seal->end(),
                     [&](const SealLine& l) { return equalsIgnoreCase(l.name, required); }))
      return damaged(kSealFile, "it does not name " + std::string(required));
  }
  for (const SealLine& l : *seal) {
    const std::string path = installerFolder + "\\" + l.name;
    const std::string list = listFileOf(l.name);
    std::string head;
    const auto sum = fileSha256(fs, path, list.empty() ? nullptr : &head, kLargestTable);
    if (!sum) return damaged(l.name, "it cannot be read");
    if (sum.value() != l.sha256) return damaged(l.name, "its SHA-256 is not the sealed one");
    if (list.empty()) continue;
    const auto entries = cabinetEntries(head);
    if (!entries) return damaged(l.name, entries.message());
    if (std::none_of(entries->begin(), entries->end(),
                     [&](const CabinetEntry& e) { return equalsIgnoreCase(e.name, list); }))
      return damaged(l.name, "it does not hold " + list);
  }
  return {};
}

}  // namespace pm
