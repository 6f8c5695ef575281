#include "unattended/outcome.h"

#include <algorithm>

namespace pm::unattended {

namespace {

bool startsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool isFailureLine(const std::string& line) {
  return startsWith(line, "Could not ") || startsWith(line, "Registry value not ") ||
         startsWith(line, "Install folder could not be created") ||
         startsWith(line, "Test DSN Failed.") ||
         startsWith(line, "--- Database Install Complete (Failed)") ||
         startsWith(line, "Help index not found");
}

}  // namespace

std::vector<std::string> reportLines(const std::string& report) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < report.size()) {
    std::size_t end = report.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(report.substr(start));
      break;
    }
    lines.push_back(report.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

Outcome judge(const std::string& report, bool agreementAccepted) {
  Outcome outcome;
  const std::vector<std::string> lines = reportLines(report);
  for (const std::string& line : lines) {
    if (isFailureLine(line)) outcome.failures.push_back(line);
  }

  // The database stage's error path ends it without its closing line.
  const auto begun = std::find(lines.begin(), lines.end(), "DATABASE Upgrade Installation");
  if (begun != lines.end()) {
    const auto closed = std::find_if(begun, lines.end(), [](const std::string& l) {
      return startsWith(l, "--- Database Install Complete");
    });
    if (closed == lines.end()) {
      // Its last line is the one before the next stage's title.
      auto next = std::find_if(begun, lines.end(), [](const std::string& l) {
        return l == "Environment Settings Check" || l == "INSTALL COMPLETE";
      });
      const std::string last = next == begun ? *begun : *(next - 1);
      outcome.failures.push_back(last);
    }
  }

  const bool finished = std::find(lines.begin(), lines.end(), "Install Complete.") != lines.end();
  if (!finished) {
    outcome.exitCode = kEndedEarly;
  } else if (!outcome.failures.empty()) {
    outcome.exitCode = kStageFailed;
  } else if (!agreementAccepted) {
    outcome.exitCode = kDeclined;
  }
  return outcome;
}

}  // namespace pm::unattended
