// The answer file of the unattended installer: what the user would have
// answered in the dialogs, one `key = value` per line.
//
//   # lines starting with # or ; are comments; blank lines are skipped
//   agreement   = accept          # accept | decline (required)
//   help        = yes             # "Install Help Files"            (default no)
//   full        = no              # "Full Install": every option    (default no)
//   folder      = C:\Pelmora      # the folder dialog's answer      (default: its offer)
//   name        = Ann Lee         # the registration name           (default: keep the
//                                 #   name the database holds)
//   launch      = no              # "Launch Pelmora" on Complete    (default no)
//   valid-dates = no              # "Valid Dates" of the library stage (default no)
//
// Keys ignore letter case; each may appear once. Yes/no values also take
// true/false, on/off and 1/0. Blanks around a value are dropped; a value in
// double quotes keeps them (name = " Ann " keeps both blanks, name = "" gives
// an empty name). There are no comments after a value: "#" inside a value is
// part of it. Control characters are refused.
#pragma once

#include <optional>
#include <string>

#include "platform/result.h"
#include "unattended/answerText.h"

namespace pm::unattended {

struct Answers {
  bool agree = false;
  bool help = false;
  bool full = false;
  std::optional<std::string> folder;  // empty: the folder dialog's own offer
  std::optional<std::string> name;    // empty: keep the preset name
  bool launch = false;
  bool validDates = false;
};

// Parses the text of an answer file. `fileName` names the file in messages,
// which read "<fileName>:<line>: <what is wrong>".
Result<Answers> parseAnswers(const std::string& text, const std::string& fileName);

// Reads and parses a host file, in any encoding of answerText.h (`ansi` reads
// bytes that are not UTF-8). Fails with a message that names the file.
Result<Answers> readAnswerFile(const std::string& hostPath, CodePage ansi);

}  // namespace pm::unattended
