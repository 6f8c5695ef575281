// What the installer writes to know its own things again. The lines of the
// leftovers record: what an installer noted of its own so
// that a later run can remove what a killed one left (the platforms'
// temporaryFiles.h).
//
// A line is "F <place>" (a folder that receives temporary files) or
// "D <place> <token>" (a temporary folder wholly of our own, made exclusively
// under a random name, that holds the owner mark of `token`). The place is
// written as the hexadecimal digits of its bytes, so no byte of a file or
// folder name (a line break, a blank, a quote) can end an entry or start
// another one. A line of any other form is no entry: it is ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

struct LeftoverEntry {
  char kind = 'F';    // 'F' or 'D'
  std::string place;  // the folder, as the platform names it (UTF-8 on Windows)
  std::string token;  // 'D': the 32 hexadecimal digits of its owner mark
};

// The entry as one line of the record, without a line end.
std::string leftoverLine(const LeftoverEntry& entry);
// The entry of one line (without its line end); nothing when the line is not
// exactly of the form leftoverLine gives.
std::optional<LeftoverEntry> parseLeftoverLine(std::string_view line);

// The entries of a whole record, lines ending in "\n"; other lines are left out.
std::vector<LeftoverEntry> parseLeftoverRecord(std::string_view text);

// An owner token made of 16 random bytes: 32 hexadecimal digits.
std::string ownerToken(const unsigned char (&random)[16]);
// The name of the empty folder inside a temporary folder of ours that marks it
// as made by the run that noted `token`.
std::string ownerMarkName(const std::string& token);

// The one line a lock file of ours holds (FileSystem::lockFile): who holds it.
std::string lockFileText(const std::string& holder);
// True for what a lock file of ours may hold: that line, or nothing (a holder
// killed before it wrote). Anything else is not ours to reuse or delete.
bool isLockFileText(std::string_view text);

// A plan runs in this process (platform/recording.h): from now on the
// platform neither writes nor sweeps the record of leftover places, so the
// machine keeps it as it was.
void leaveRecordAlone();
bool recordLeftAlone();

}  // namespace pm
