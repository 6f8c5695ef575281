// The seal of an installer folder, and what a cabinet's own table says it holds.
//
// PMPack writes "PMSetup.sha256" beside the cabinets: one line per file, in the
// form sha256sum writes and `sha256sum -c` reads ("<64 hex digits>  <name>").
// The cabinet format has no checksum over its headers, so a flipped bit in a
// member's size or offset passes "Cabarc T"; the seal catches it. The seal
// lies in a folder that others may write to, so it is read strictly: nothing
// but such lines, each naming a plain file of the installer folder once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"
#include "platform/result.h"

namespace pm {

inline constexpr const char* kSealFile = "PMSetup.sha256";
inline constexpr const char* kAgreementFile = "Eula.txt";

struct SealLine {
  std::string sha256;  // 64 lower-case hexadecimal digits
  std::string name;    // a plain file name in the installer folder
};

// Why Windows cannot hold the name as a file of a folder, or "" when it can:
// it must be a plain file name (cabinet.h) of at most 255 bytes, not end in a
// dot or a blank, and not be a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// CONIN$, CONOUT$) with or without an extension.
std::string windowsNameProblem(const std::string& name);
inline bool isPortableFileName(const std::string& name) {
  return windowsNameProblem(name).empty();
}

// The list file that each of the three cabinets must hold ("" for another name).
std::string listFileOf(const std::string& cabinet);

// The seal's text: one LF-ended line per file, in the order given.
std::string sealText(const std::vector<SealLine>& lines);

// Reads a seal's text. Fails, saying which line is wrong, on anything but
// "<64 hex digits>  <name>" lines (also "<hex> *<name>", sha256sum's binary
// mode; an LF or CR LF ending), a name that is not a plain file name, or a
// name given twice (letters compared without regard to case).
Result<std::vector<SealLine>> parseSeal(std::string_view text);

// One member of a cabinet as its file table gives it.
struct CabinetEntry {
  std::string name;  // as stored
  std::uint32_t size = 0;
};

// The file table of a cabinet, from the first bytes of the file (at least up
// to the table's end). Fails on anything that is not a well-formed table.
Result<std::vector<CabinetEntry>> cabinetEntries(std::string_view head);

// The SHA-256 of a file and, when `head` is given, its first `headBytes` bytes.
Result<std::string> fileSha256(FileSystem& fs, const std::string& path, std::string* head = nullptr,
                               std::size_t headBytes = 0);

// The message for a damaged installer file, the same for every kind of damage.
std::string damagedInstallerMessage(const std::string& name, const std::string& path);

// Checks the seal of the installer folder, when there is one: every file it
// names is there with that SHA-256, it names the three cabinets and the
// agreement, and each cabinet's table holds its list file. A folder without a
// seal passes. Reads only.
Status checkSeal(FileSystem& fs, const std::string& installerFolder);

}  // namespace pm
