// The program group where no Program Manager answers: a deployment tool runs
// the installer as SYSTEM, with no shell at all, and an elevated installer's
// DDE messages are not answered by a shell of a lower integrity level. There
// the same group and items are made with the shell's link objects
// (IShellLinkW saved through IPersistFile) in the Start Menu's Programs folder
// for all users (FOLDERID_CommonPrograms: SYSTEM's own Start Menu is seen by
// nobody, and the installer runs elevated, so it may write there).
//
// ShellLinkDde is the DDE system the program-group stage talks to: a
// conversation with "PROGMAN" on topic "PROGMAN" goes to the system's Program
// Manager when it answers, and otherwise to a conversation of our own that
// carries out the same bracketed commands:
//
//   [CreateGroup(name)]       the folder <Programs>\name (made when missing);
//   [ReplaceItem(title)]      removes <group>\title.lnk; fails when there is none;
//   [AddItem(cmd,title,...)]  writes <group>\title.lnk starting the program that
//                             the command line's first word names (an unquoted
//                             path with blanks is taken as Windows takes it: the
//                             shortest run of words that names an existing file)
//                             with the rest as its arguments.
//
// Arguments are split at commas outside double quotes, and one pair of quotes
// around an argument is removed. A title's characters that a file name cannot
// hold become "_". Every refusal fails the request with a message; the client
// decides what to make of it.
#pragma once

#include <string>

#include "platform/dde.h"

namespace pm::win32 {

class ShellLinkDde : public DdeSystem {
 public:
  // `programManager` is asked first; it must outlive this object. An empty
  // `programsFolder` is the Start Menu's Programs folder for all users.
  explicit ShellLinkDde(DdeSystem& programManager, std::string programsFolder = {});

  Result<std::unique_ptr<DdeConversation>> connect(const std::string& service,
                                                   const std::string& topic) override;

 private:
  DdeSystem& programManager_;
  std::string programsFolder_;
};

}  // namespace pm::win32
