// Splitting a Windows command line into arguments, the way CommandLineToArgvW does.
#include <string>
#include <vector>

#include "platform/process.h"

namespace pm {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitWindowsCommandLine(const std::string& cmdline) {
  std::vector<std::string> args;
  const std::size_t n = cmdline.size();
  std::size_t i = 0;
  while (i < n && isBlank(cmdline[i])) ++i;
  if (i == n) return args;

  // The program name: up to the closing quote when it opens with one, else up to
  // the next blank. Backslashes are plain characters here (they are folder separators).
  std::string program;
  if (cmdline[i] == '"') {
    ++i;
    while (i < n && cmdline[i] != '"') program += cmdline[i++];
    if (i < n) ++i;  // the closing quote
  } else {
    while (i < n && !isBlank(cmdline[i])) program += cmdline[i++];
  }
  args.push_back(std::move(program));

  // The other arguments. `quotes` counts the quotes of the current run: 1 means
  // inside a quoted stretch; three quotes in a row give one literal quote.
  while (i < n && isBlank(cmdline[i])) ++i;
  std::string arg;
  bool inArgument = false;
  int quotes = 0;
  std::size_t backslashes = 0;
  while (i < n) {
    const char c = cmdline[i];
    if (isBlank(c) && quotes == 0) {
      args.push_back(std::move(arg));
      arg.clear();
      inArgument = false;
      backslashes = 0;
      while (i < n && isBlank(cmdline[i])) ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      arg += c;
      ++backslashes;
      ++i;
    } else if (c == '"') {
      if (backslashes % 2 == 0) {
        // 2n backslashes and a quote: n backslashes, and the quote opens or closes.
        arg.resize(arg.size() - backslashes / 2);
        ++quotes;
      } else {
        // 2n+1 backslashes and a quote: n backslashes and a literal quote.
        arg.resize(arg.size() - backslashes / 2 - 1);
        arg += '"';
      }
      ++i;
      backslashes = 0;
      while (i < n && cmdline[i] == '"') {
        if (++quotes == 3) {
          arg += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    } else {
      arg += c;
      backslashes = 0;
      ++i;
    }
  }
  if (inArgument) args.push_back(std::move(arg));
  return args;
}

}  // namespace pm
