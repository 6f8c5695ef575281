// The Program Manager of this platform: the DDE service "PROGMAN" (topic
// "PROGMAN") that the program-group stage talks to, living in the installer's
// own process (register it with an InProcessDde under "PROGMAN").
//
// It understands the bracketed commands of the Windows shell's Program Manager,
// one or several in one execute request ("[CreateGroup(Pelmora)][ShowGroup...]"
// is read as two). Arguments are split on commas; an argument in double quotes
// runs to the closing quote and may hold commas, parentheses and brackets:
//
//   [CreateGroup(name)]      creates the group (and its parent folders) when it
//                            does not exist, and makes it the current group;
//   [ReplaceItem(title)]     removes the item of that title from the current
//                            group; fails when there is none;
//   [AddItem(cmd,title,...)] adds an item to the current group; an earlier item
//                            of the same title is replaced, so there is always
//                            one item per title. Further arguments (icon,
//                            position, ...) are accepted and not used.
//
// A group is the machine's folder
//   C:\ProgramData\Microsoft\Windows\Start Menu\Programs\<group>
// and an item one freedesktop .desktop file in it:
//
//   [Desktop Entry]
//   Type=Application
//   Name=<title>
//   Exec=<the command line rendered for this host>
//   X-PMSetup-CommandLine=<the Windows command line exactly as sent>
//
// Values are written with the desktop-entry escapes (\\ for a backslash, \s for
// a blank at either end, \n \t \r), so X-PMSetup-CommandLine gives back the
// command line byte for byte, trailing blank included. Exec= names the program
// by its host path: the first word of the command line is the program (an
// unquoted path with blanks is resolved as Windows does, by taking the shortest
// run of words that names an existing file), the rest is split by the Windows
// rules and passed on as written. A program that is not itself runnable (a
// document such as EULA.txt) is opened with xdg-open.
//
// The item's file name comes from its title with every character other than
// letters, digits, blanks, ".", "-" and "_" replaced by "_", and no leading
// dot, so an item is never written outside its group's folder. Titles that come
// out the same get "-2", "-3", ... Files are written whole (temporary file,
// rename).
//
// Every refusal (a command it does not know, malformed text, a group name that
// is not a plain folder name, no current group, a disk error) fails the request
// with a message; the client decides what to make of it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/ddeLinks.h"
#include "platform/posix/machine.h"

namespace pm::posix {

// One bracketed command: its name and its comma-separated arguments.
struct ProgManCommand {
  std::string name;
  std::vector<std::string> arguments;
};

// Reads "[Cmd(a,"b,c")][Cmd2]..." (blanks allowed between commands). Fails on
// anything else.
Result<std::vector<ProgManCommand>> parseProgManCommands(const std::string& text);

// What an item file holds.
struct ProgManItem {
  std::string title;
  std::string commandLine;  // the Windows command line as sent
  std::string exec;         // the Exec= value, unescaped
};

class ProgramManager : public DdeServer {
 public:
  static constexpr const char* kService = "PROGMAN";
  static constexpr const char* kTopic = "PROGMAN";
  static constexpr const char* kProgramsFolder =
      "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

  // The machine must outlive the service.
  explicit ProgramManager(const Machine& machine) : machine_(machine) {}

  bool acceptsTopic(const std::string& topic) const override;
  Status execute(const std::string& topic, const std::string& command) override;

  // The host folder of a group (whether or not it exists).
  std::filesystem::path groupFolder(const std::string& group) const;
  // The items of a group, by title order; empty when the group does not exist.
  std::vector<ProgManItem> items(const std::string& group) const;
  // The Exec= value (before desktop-entry escaping) for a Windows command line.
  std::string execFor(const std::string& commandLine) const;

 private:
  Status run(const std::vector<ProgManCommand>& commands);
  Status createGroup(const std::vector<std::string>& arguments);
  Status replaceItem(const std::vector<std::string>& arguments);
  Status addItem(const std::vector<std::string>& arguments);
  // The item file of that title in the current group, if there is one.
  std::optional<std::filesystem::path> findItem(const std::filesystem::path& folder,
                                                const std::string& title) const;

  const Machine& machine_;
  std::string currentGroup_;
};

}  // namespace pm::posix
