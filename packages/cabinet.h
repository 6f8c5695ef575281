// The cabinets beside the installer and the list files inside them.
//
// The installer never opens a cabinet itself: every extraction is one run of the
// outside archiver Cabarc, always with the same command line shape, and success
// is judged afterwards by whether the expected file is in the temporary folder.
// The list files (library.txt, upgrade.txt, help.txt) name one cabinet member per
// line, possibly wrapped in double quotes: the line goes to the archiver as read,
// while paths and most report lines use the line without its quotes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "install/installWindow.h"
#include "platform/filesystem.h"
#include "platform/result.h"

namespace pm {

inline constexpr const char* kMainCabinet = "Pelmora.CAB";
inline constexpr const char* kLibraryCabinet = "PLMLibrary.CAB";
inline constexpr const char* kHelpCabinet = "PLMHelp.CAB";

// The archiver's command line: `Cabarc -o LETTER "TEMP\CABINET" MEMBER "TEMP"\`.
// `tempFolder` is absolute and has no trailing separator; an empty member
// leaves two blanks between the cabinet and the destination, which makes the
// archiver extract every member.
std::string cabarcCommand(char letter, const std::string& tempFolder, const std::string& cabinet,
                          const std::string& member);

// The name a list line stands for: the line with every double quote removed.
std::string listLineName(const std::string& line);

// True when a list line names an executable: ".exe" in exactly that case.
bool namesExecutable(const std::string& line);

// True when a name can be joined to a folder without leaving it: not empty, not
// "." or "..", and free of separators, drive colons, wildcards and the other
// characters that Windows file names cannot hold. List lines that fail this are
// never used to build a path.
bool isPlainFileName(const std::string& name);

// The lines of a list file, read to the end. A list that cannot be read gives no
// lines.
std::vector<std::string> readListFile(FileSystem& fs, const std::string& path);

// Copies a member that the archiver put into the temporary folder to its place,
// overwriting. Fails, leaving the target as it was, when the member is not in the
// temporary folder (the message then says which cabinet lacked it) or the copy
// is refused (the file system's message).
Status installExtracted(FileSystem& fs, const std::string& tempFolder, const std::string& name,
                        const std::string& cabinet, const std::string& target);

// Checks the installer's own cabinets before anything is changed: the seal
// first, when the folder has one (seal.h), then each cabinet that
// is present beside the installer is read through by "Cabarc T" (every member
// decompressed, its checksums checked), run directly, without a report line.
// Fails with a message for the user that names the first damaged cabinet and
// asks for a new copy of the installer. A missing cabinet, or an archiver that
// cannot be started, is left to the stages.
Status checkCabinets(FileSystem& fs, ProcessRunner& processes, const std::string& installerFolder);

// The report line for a file that could not be put in place.
std::string notInstalledLine(const std::string& name, const Status& why);

// The name of a list line when it can be installed. A blank line names nothing
// and is passed over; a name that is not a plain file name is reported (with
// `delayx` as rept's pause) and passed over.
std::optional<std::string> installableName(InstallWindow& frm, const std::string& stage,
                                           const std::string& line, std::int16_t delayx = 0);

}  // namespace pm
