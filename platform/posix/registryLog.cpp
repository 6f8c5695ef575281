#include "platform/posix/registryLog.h"

#include <array>
#include <cstdio>
#include <optional>

namespace pm::posix {

bool RegistryChange::applyTo(RegistryHive& hive) const {
  return kind == Kind::CreateKey ? hive.createKey(keyPath)
                                 : hive.setValue(keyPath, valueName, value);
}

namespace registryLog {
namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

// A quoted text at the start of `s` (after one blank when `blank`); `s` moves past it.
std::optional<std::string> takeQuoted(std::string_view& s, bool blank) {
  if (blank) {
    if (s.empty() || s[0] != ' ') return std::nullopt;
    s.remove_prefix(1);
  }
  if (s.empty() || s[0] != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (s[i] == '"') {
      s.remove_prefix(i + 1);
      return out;
    } else {
      out += s[i];
    }
  }
  return std::nullopt;
}

std::optional<RegistryChange> parseBody(std::string_view body) {
  RegistryChange change;
  if (body.starts_with("key ")) {
    body.remove_prefix(4);
    auto path = takeQuoted(body, false);
    if (!path || !body.empty()) return std::nullopt;
    change.keyPath = std::move(*path);
    return change;
  }
  if (!body.starts_with("set ")) return std::nullopt;
  body.remove_prefix(4);
  auto path = takeQuoted(body, false);
  auto name = path ? takeQuoted(body, true) : std::nullopt;
  if (!name) return std::nullopt;
  change.kind = RegistryChange::Kind::SetValue;
  change.keyPath = std::move(*path);
  change.valueName = std::move(*name);
  if (body.starts_with(" dword:") && body.size() == 15) {
    std::uint32_t n = 0;
    for (char c : body.substr(7)) {
      if (c >= '0' && c <= '9')
        n = n * 16 + static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        n = n * 16 + static_cast<std::uint32_t>(c - 'a' + 10);
      else
        return std::nullopt;
    }
    change.value = RegValue::number(n);
    return change;
  }
  auto text = takeQuoted(body, true);
  if (!text || !body.empty()) return std::nullopt;
  change.value = RegValue::string(std::move(*text));
  return change;
}

}  // namespace

std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (char b : bytes) c = kCrcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

namespace {
std::string withChecksum(const std::string& body) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x ", crc32(body));
  return crc + body + "\n";
}
}  // namespace

std::string record(const RegistryChange& change) {
  std::string body;
  if (change.kind == RegistryChange::Kind::CreateKey) {
    body = "key ";
    appendQuoted(body, change.keyPath);
  } else {
    body = "set ";
    appendQuoted(body, change.keyPath);
    body += ' ';
    appendQuoted(body, change.valueName);
    body += ' ';
    if (change.value.type == ValueType::Dword) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", change.value.dword);
      body += buf;
    } else {
      appendQuoted(body, change.value.text);
    }
  }
  return withChecksum(body);
}

std::size_t replay(std::string_view records,
                   const std::function<void(const RegistryChange&)>& apply) {
  std::size_t done = 0;
  while (done < records.size()) {
    const std::size_t end = records.find('\n', done);
    if (end == std::string_view::npos) break;  // not whole
    const std::string_view line = records.substr(done, end - done);
    if (line.size() < 10 || line[8] != ' ') break;
    std::uint32_t sum = 0;
    bool hex = true;
    for (char c : line.substr(0, 8)) {
      if (c >= '0' && c <= '9')
        sum = sum * 16 + static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        sum = sum * 16 + static_cast<std::uint32_t>(c - 'a' + 10);
      else
        hex = false;
    }
    const std::string_view body = line.substr(9);
    if (!hex || sum != crc32(body)) break;
    const auto change = parseBody(body);
    if (!change) break;
    apply(*change);
    done = end + 1;
  }
  return done;
}

}  // namespace registryLog
}  // namespace pm::posix
