// The release description that PMPack reads: which version, which agreement,
// and which files go into each of the three cabinets, the ones the installer
// copies marked. A small INI-like text file:
//
//   # Pelmora v.1.9.5                    (# or ; starts a comment line)
//   version   = 1.9.5
//   agreement = Eula.txt                 (becomes the installer's Eula.txt)
//
//   [Pelmora.CAB]                        (also [PLMLibrary.CAB], [PLMHelp.CAB])
//   folder  = Pelmora                    (where the files are; default: here)
//   install Pelmora.exe                  (in the cabinet and in upgrade.txt)
//   install "EULA.txt"                   (quoted in the list as well)
//   install Read me.txt                  (a name with a blank is always quoted)
//   file    Dorvane.mdb                  (in the cabinet only)
//   install Pelmora.exe < ../bin/pelmora (taken from a file of another name)
//
// Paths are relative to the description's folder (the section's files to its
// folder), with "/" or "\" between parts. The cabinet holds its list file
// first, then the files in the order given; the list names the `install` lines
// in that order. Keys, section names and the words install/file ignore letter
// case; the files' names keep theirs.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/result.h"

namespace pm::pmpack {

struct Member {
  std::string name;              // the name in the cabinet
  std::filesystem::path source;  // the file it is made from
  bool install = false;          // named in the cabinet's list file
  bool quoted = false;           // named in quotes in the list file
  int line = 0;
};

struct CabinetPlan {
  std::string name;      // "Pelmora.CAB", "PLMLibrary.CAB" or "PLMHelp.CAB"
  std::string listFile;  // "upgrade.txt", "library.txt" or "help.txt"
  int line = 0;          // of its section
  std::vector<Member> members;
};

struct Release {
  std::string fileName;  // the description, for messages
  std::string version;
  std::filesystem::path agreement;
  int agreementLine = 0;
  std::array<CabinetPlan, 3> cabinets;  // in the order above
};

// Reads a description's text; `base` is the folder that its paths are
// relative to. Messages read "<fileName>:<line>: <what is wrong>".
Result<Release> parseRelease(const std::string& text, const std::string& fileName,
                             const std::filesystem::path& base);

// Reads and parses a description file.
Result<Release> readRelease(const std::filesystem::path& file);

// The largest member, and the largest total of one cabinet (it holds its
// members in one folder), that the cabinet format allows; and its count.
inline constexpr std::uintmax_t kLargestFolder = 0x7FFF8000;
inline constexpr std::size_t kMostMembers = 65535;

// Everything that would make the installer folder fail on a user's machine,
// each as "<fileName>:<line>: <name>: <what is wrong>": a missing file, a
// name Windows cannot hold or the cabinet tool would take for an option,
// names that differ only in letter case, a name PMPack writes itself, a member
// beyond the cabinet format's limits, the blank database missing from (or
// installed by) Pelmora.CAB.
std::vector<std::string> checkRelease(const Release& release);

// The list file's text: the `install` members, one CR LF ended line each, in
// quotes when the description quoted them or they hold a blank.
std::string listText(const CabinetPlan& cabinet);

// A host path as UTF-8 text, and back.
std::string utf8(const std::filesystem::path& p);
std::filesystem::path hostPath(const std::string& utf8Text);

}  // namespace pm::pmpack
