#include "platform/leftoverRecord.h"

#include <atomic>

namespace pm {
namespace {

constexpr char kDigits[] = "0123456789abcdef";
constexpr std::size_t kTokenLength = 32;

std::string toHex(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes of lower-case hexadecimal digits; nothing for anything else, and
// for a NUL byte, which no path holds.
std::optional<std::string> fromHex(std::string_view hex) {
  if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digitValue(hex[i]), low = digitValue(hex[i + 1]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
  }
  return out;
}

bool isToken(std::string_view text) {
  if (text.size() != kTokenLength) return false;
  for (char c : text)
    if (digitValue(c) < 0) return false;
  return true;
}

}  // namespace

std::string leftoverLine(const LeftoverEntry& entry) {
  std::string line = std::string(1, entry.kind) + " " + toHex(entry.place);
  if (entry.kind == 'D') line += " " + entry.token;
  return line;
}

std::optional<LeftoverEntry> parseLeftoverLine(std::string_view line) {
  if (line.size() < 3 || line[1] != ' ' || (line[0] != 'F' && line[0] != 'D')) return std::nullopt;
  LeftoverEntry entry{line[0], {}, {}};
  std::string_view rest = line.substr(2);
  if (entry.kind == 'D') {
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos || !isToken(rest.substr(blank + 1))) return std::nullopt;
    entry.token = std::string(rest.substr(blank + 1));
    rest = rest.substr(0, blank);
  }
  auto place = fromHex(rest);
  if (!place) return std::nullopt;
  entry.place = std::move(*place);
  return entry;
}

std::vector<LeftoverEntry> parseLeftoverRecord(std::string_view text) {
  std::vector<LeftoverEntry> entries;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (auto entry = parseLeftoverLine(text.substr(start, end - start)))
      entries.push_back(std::move(*entry));
    start = end + 1;
  }
  return entries;
}

std::string ownerToken(const unsigned char (&random)[16]) {
  return toHex(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
}

std::string ownerMarkName(const std::string& token) {
  return ".PMSetup-owner-" + token;
}

namespace {
constexpr std::string_view kLockHeader = "PMSetup installer lock, held by ";
}

std::string lockFileText(const std::string& holder) {
  std::string line = std::string(kLockHeader) + holder;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line + "\n";
}

bool isLockFileText(std::string_view text) {
  return text.empty() || (text.starts_with(kLockHeader) && text.size() < 1024 &&
                          text.find('\n') == text.size() - 1);
}

namespace {
std::atomic<bool> leftAlone{false};
}  // namespace

void leaveRecordAlone() {
  leftAlone = true;
}

bool recordLeftAlone() {
  return leftAlone;
}

}  // namespace pm
