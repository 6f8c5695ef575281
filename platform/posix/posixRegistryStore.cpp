#include "platform/posix/posixRegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>
#include "platform/text.h"

namespace pm::posix {
namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

std::string trimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

std::string trimLeft(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return s.substr(i);
}

// ---- the content of one store file ----------------------------------------

struct Value {
  enum class Kind { String, Dword, Raw };
  std::string name;
  Kind kind = Kind::String;
  std::string text;
  std::uint32_t dword = 0;
  std::vector<std::string>
      raw;  // the data as written: the rest of the "=" line, then continuation lines
};

struct Key {
  std::string path;  // below the root, components joined by "\"; "" is the root key
  std::vector<Value> values;

  Value* find(const std::string& name) {
    for (Value& v : values)
      if (equalsIgnoreCase(v.name, name)) return &v;
    return nullptr;
  }
};

// Components of a key path (registry paths separate at "\\" only).
std::vector<std::string> keyComponents(const std::string& path) {
  return pathComponents(path, false);
}

std::string join(const std::vector<std::string>& parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += (i ? "\\" : "") + parts[i];
  return out;
}

// Orders keys as a tree: a key comes right before its children, and children of
// "a" before the sibling "a b" ('\x01' sorts before every character of a name).
std::string sortKey(const std::string& path) {
  std::string key = toLower(path);
  for (char& c : key)
    if (c == '\\') c = '\x01';
  return key;
}

struct Hive {
  std::map<std::string, Key> keys;

  Key* find(const std::string& path) {
    auto it = keys.find(sortKey(join(keyComponents(path), keyComponents(path).size())));
    return it == keys.end() ? nullptr : &it->second;
  }
  // The key and all its parents; true when anything was added.
  bool ensure(const std::string& path, Key** out = nullptr) {
    const std::vector<std::string> parts = keyComponents(path);
    bool added = false;
    Key* key = nullptr;
    for (std::size_t n = 1; n <= parts.size(); ++n) {
      // A new key keeps its parent's spelling: "SOFTWARE\ODBC" below an existing
      // "Software" is "Software\ODBC", as in Windows.
      const std::string p = key ? key->path + "\\" + parts[n - 1] : parts[0];
      auto [it, inserted] = keys.try_emplace(sortKey(p), Key{p, {}});
      added |= inserted;
      key = &it->second;
    }
    if (parts.empty()) {
      // The root key always exists; making its section alone writes nothing.
      key = &keys.try_emplace("", Key{"", {}}).first->second;
    }
    if (out) *out = key;
    return added;
  }
};

// ---- text of the format ----------------------------------------------------

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string serialize(const Hive& hive, const std::string& rootName) {
  std::string out = std::string(kHeader) + "\r\n\r\n";
  for (const auto& [sort, key] : hive.keys) {
    if (key.path.empty() && key.values.empty()) continue;
    out += "[" + rootName + (key.path.empty() ? "" : "\\" + key.path) + "]\r\n";
    for (const Value& v : key.values) {
      out += v.name.empty() ? std::string("@") : quote(v.name);
      out += "=";
      switch (v.kind) {
        case Value::Kind::String:
          out += quote(v.text);
          break;
        case Value::Kind::Dword: {
          char buf[16];
          std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
          out += buf;
          break;
        }
        case Value::Kind::Raw:
          for (std::size_t i = 0; i < v.raw.size(); ++i) out += (i ? "\r\n" : "") + v.raw[i];
          break;
      }
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE bytes (no byte order mark) as UTF-8.
std::string utf16leToUtf8(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t u = static_cast<unsigned char>(bytes[i]) |
                      (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t lo =
          static_cast<unsigned char>(bytes[i + 2]) |
          (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    appendUtf8(out, u);
  }
  return out;
}

class ParseError {
 public:
  ParseError(int line, std::string what) : line(line), what(std::move(what)) {}
  int line;
  std::string what;
};

// A quoted text starting at s[pos] == '"'; pos ends after the closing quote.
std::string parseQuoted(const std::string& s, std::size_t& pos, int lineNo, const char* what) {
  std::string out;
  ++pos;
  while (pos < s.size()) {
    const char c = s[pos];
    if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
      out += s[pos + 1];
      pos += 2;
    } else if (c == '"') {
      ++pos;
      return out;
    } else {
      out += c;
      ++pos;
    }
  }
  throw ParseError(lineNo, std::string("missing closing quote of the ") + what);
}

Hive parse(std::string text, const std::string& rootName) {
  Hive hive;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    text = utf16leToUtf8(text.substr(2));
  } else if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text.erase(0, 3);
  }
  std::vector<std::string> lines;
  {
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        if (!current.empty() && current.back() == '\r') current.pop_back();
        lines.push_back(std::move(current));
        current.clear();
      } else {
        current += text[i];
      }
    }
    if (!current.empty()) {
      if (current.back() == '\r') current.pop_back();
      lines.push_back(std::move(current));
    }
  }
  // An empty file is an empty store.
  bool blank = true;
  for (const std::string& l : lines)
    if (!trimLeft(l).empty()) blank = false;
  if (blank) return hive;

  const std::string first = trimRight(lines[0]);
  if (first != kHeader && first != "REGEDIT4")
    throw ParseError(
        1, std::string("not a registry file (the first line must be \"") + kHeader + "\")");

  Key* key = nullptr;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i) + 1;
    const std::string line = trimRight(trimLeft(lines[i]));
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.size() < 2 || line.back() != ']')
        throw ParseError(lineNo, "a key line must end in \"]\"");
      if (line[1] == '-')
        throw ParseError(lineNo, "a key deletion does not belong in a stored registry");
      const std::string full = line.substr(1, line.size() - 2);
      const std::string head = full.substr(0, full.find('\\'));
      if (!equalsIgnoreCase(head, rootName))
        throw ParseError(lineNo, "key \"" + full + "\" is not under " + rootName);
      const std::string below = head.size() < full.size() ? full.substr(head.size() + 1) : "";
      hive.ensure(below, &key);
      continue;
    }
    if (!key) throw ParseError(lineNo, "a value before the first key");
    Value v;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      v.name = parseQuoted(line, pos, lineNo, "value name");
    } else {
      throw ParseError(lineNo, "expected a key in [brackets] or a value (\"Name\"=... or @=...)");
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=')
      throw ParseError(lineNo, "expected \"=\" after the value name");
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const std::string data = line.substr(pos);
    if (!data.empty() && data[0] == '"') {
      std::size_t p = 0;
      v.kind = Value::Kind::String;
      v.text = parseQuoted(data, p, lineNo, "value data");
      if (!trimLeft(data.substr(p)).empty())
        throw ParseError(lineNo, "text after the closing quote");
    } else if (toLower(data.substr(0, 6)) == "dword:") {
      const std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8)
        throw ParseError(lineNo, "a dword needs 1 to 8 hex digits");
      for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
          throw ParseError(lineNo, "a dword needs 1 to 8 hex digits");
      v.kind = Value::Kind::Dword;
      v.dword = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
    } else if (toLower(data.substr(0, 4)) == "hex:" || toLower(data.substr(0, 4)) == "hex(") {
      v.kind = Value::Kind::Raw;
      v.raw.push_back(data);
      // Continuation lines follow while a line ends in "\".
      while (trimRight(v.raw.back()).size() > 0 && trimRight(v.raw.back()).back() == '\\') {
        if (++i >= lines.size())
          throw ParseError(lineNo, "the value's data ends in \"\\\" at the end of the file");
        v.raw.push_back(trimRight(lines[i]));
      }
    } else if (data == "-") {
      throw ParseError(lineNo, "a value deletion does not belong in a stored registry");
    } else {
      throw ParseError(lineNo, "unrecognised value data \"" + data + "\"");
    }
    if (Value* existing = key->find(v.name)) {
      *existing = std::move(v);
    } else {
      key->values.push_back(std::move(v));
    }
  }
  return hive;
}

// The bytes of a hex value's data ("hex(2):41,00,42,00,\ ..."), or nothing when
// they cannot be read.
std::optional<std::string> hexBytes(const std::vector<std::string>& raw) {
  std::string all;
  for (const std::string& l : raw) all += l;
  const std::size_t colon = all.find(':');
  std::string out;
  std::string digits;
  for (std::size_t i = colon + 1; i <= all.size(); ++i) {
    const char c = i < all.size() ? all[i] : ',';
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (c == ',') {
      if (digits.empty() && i < all.size()) return std::nullopt;
      if (!digits.empty()) {
        if (digits.size() > 2) return std::nullopt;
        out += static_cast<char>(std::stoi(digits, nullptr, 16));
      }
      digits.clear();
    } else if (c != '\\' && c != ' ' && c != '\t') {
      return std::nullopt;
    }
  }
  return out;
}

// What a read gives for a value; strings of type 1 (REG_SZ) and 2 (REG_EXPAND_SZ)
// and numbers of type 4 written as hex are understood too.
Result<std::optional<RegValue>> toRegValue(const Value& v, const std::string& where) {
  switch (v.kind) {
    case Value::Kind::String:
      return std::optional<RegValue>(RegValue::string(v.text));
    case Value::Kind::Dword:
      return std::optional<RegValue>(RegValue::number(v.dword));
    case Value::Kind::Raw:
      break;
  }
  const std::string type = toLower(v.raw.front().substr(0, v.raw.front().find(':')));
  if (auto bytes = hexBytes(v.raw)) {
    if (type == "hex(1)" || type == "hex(2)") {
      std::string text = utf16leToUtf8(*bytes);
      const auto nul = text.find('\0');
      if (nul != std::string::npos) text.resize(nul);
      return std::optional<RegValue>(RegValue::string(std::move(text)));
    }
    if (type == "hex(4)" && bytes->size() == 4) {
      const auto* b = reinterpret_cast<const unsigned char*>(bytes->data());
      return std::optional<RegValue>(RegValue::number(b[0] | (b[1] << 8) | (b[2] << 16) |
                                                      (static_cast<std::uint32_t>(b[3]) << 24)));
    }
  }
  return Status::failure(where + ": value \"" + v.name +
                         "\" has data of a type that cannot be read as a string or number (" +
                         type + ")");
}

// ---- the file, its lock and its replacement ---------------------------------

class Locked {
 public:
  Locked() = default;
  ~Locked() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

  Status acquire(const fs::path& file, bool exclusive) {
    const fs::path lockFile = file.string() + ".lock";
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && !exclusive) {
      // A store that may only be read: read it without a lock (replacing is atomic).
      fd_ = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return {};
    }
    if (fd_ < 0)
      return Status::failure(lockFile.string() +
                             ": cannot open the lock file: " + std::strerror(errno));
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR)
        return Status::failure(lockFile.string() + ": cannot lock: " + std::strerror(errno));
    }
    return {};
  }

 private:
  int fd_ = -1;
};

Result<Hive> load(const fs::path& file, const std::string& rootName) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Hive{};
    return Status::failure(file.string() + ": cannot read: " + std::strerror(errno));
  }
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return Status::failure(file.string() + ": cannot read: " + std::strerror(err));
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  try {
    return parse(std::move(text), rootName);
  } catch (const ParseError& e) {
    return Status::failure(file.string() + ": line " + std::to_string(e.line) + ": " + e.what);
  }
}

Status save(const fs::path& file, const std::string& content,
            const std::function<void()>& beforeReplace) {
  const fs::path temp = file.string() + ".tmp";
  auto failed = [&](const std::string& what) {
    const std::string message = file.string() + ": " + what + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return Status::failure(message);
  };
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) mode = st.st_mode & 07777;
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return failed("cannot write " + temp.filename().string());
  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return failed("cannot write " + temp.filename().string());
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    ::close(fd);
    return failed("cannot flush " + temp.filename().string());
  }
  if (::close(fd) != 0) return failed("cannot write " + temp.filename().string());
  if (beforeReplace) beforeReplace();
  if (::rename(temp.c_str(), file.c_str()) != 0) return failed("cannot replace the file");
  const int dir = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

Status checkText(const std::string& text, const char* what) {
  if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    return Status::failure(std::string("The registry cannot store a ") + what +
                           " that holds a line break or NUL character");
  return {};
}

}  // namespace

// One read-modify-write of a store file under its exclusive lock. `change`
// returns whether it changed anything (nothing is written otherwise).
template <typename Change>
static Status modify(const Machine& machine, RootKey root, const std::function<void()>& hook,
                     Change change) {
  const std::string rootName = rootKeyName(root);
  if (rootName.empty()) return Status::failure("Unknown registry root key");
  const fs::path file = machine.registryFile(rootName);
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  Locked lock;
  if (Status s = lock.acquire(file, true); !s) return s;
  Result<Hive> hive = load(file, rootName);
  if (!hive) return hive.status();
  if (!change(hive.value())) return {};
  return save(file, serialize(hive.value(), rootName), hook);
}

static Result<Hive> readHive(const Machine& machine, RootKey root) {
  const std::string rootName = rootKeyName(root);
  if (rootName.empty()) return Status::failure("Unknown registry root key");
  const fs::path file = machine.registryFile(rootName);
  Locked lock;
  if (Status s = lock.acquire(file, false); !s) return s;
  return load(file, rootName);
}

Result<std::optional<RegValue>> PosixRegistryStore::readValue(RootKey root,
                                                              const std::string& keyPath,
                                                              const std::string& valueName) {
  Result<Hive> hive = readHive(machine_, root);
  if (!hive) return hive.status();
  Key* key = hive.value().find(keyPath);
  if (!key) return std::optional<RegValue>();
  const Value* v = key->find(valueName);
  if (!v) return std::optional<RegValue>();
  return toRegValue(*v, machine_.registryFile(rootKeyName(root)).string() + ": [" +
                            rootKeyName(root) + (key->path.empty() ? "" : "\\" + key->path) + "]");
}

Status PosixRegistryStore::writeValue(RootKey root, const std::string& keyPath,
                                      const std::string& valueName, const RegValue& value) {
  if (Status s = checkText(keyPath, "key name"); !s) return s;
  if (Status s = checkText(valueName, "value name"); !s) return s;
  if (value.type == ValueType::String) {
    if (Status s = checkText(value.text, "string value"); !s) return s;
  }
  return modify(machine_, root, beforeReplace, [&](Hive& hive) {
    Key* key = nullptr;
    bool changed = hive.ensure(keyPath, &key);
    Value v;
    v.name = valueName;
    if (value.type == ValueType::Dword) {
      v.kind = Value::Kind::Dword;
      v.dword = value.dword;
    } else {
      v.kind = Value::Kind::String;
      v.text = value.text;
    }
    if (Value* existing = key->find(valueName)) {
      const bool same =
          existing->kind == v.kind && existing->text == v.text && existing->dword == v.dword;
      if (!same) {
        v.name = existing->name;  // the name keeps the case it was made with
        *existing = std::move(v);
        changed = true;
      }
    } else {
      key->values.push_back(std::move(v));
      changed = true;
    }
    return changed;
  });
}

Status PosixRegistryStore::createKey(RootKey root, const std::string& keyPath) {
  if (Status s = checkText(keyPath, "key name"); !s) return s;
  return modify(machine_, root, beforeReplace, [&](Hive& hive) { return hive.ensure(keyPath); });
}

Result<bool> PosixRegistryStore::keyExists(RootKey root, const std::string& keyPath) {
  Result<Hive> hive = readHive(machine_, root);
  if (!hive) return hive.status();
  return keyComponents(keyPath).empty() || hive.value().find(keyPath) != nullptr;
}

Result<std::vector<std::string>> PosixRegistryStore::valueNames(RootKey root,
                                                                const std::string& keyPath) {
  Result<Hive> hive = readHive(machine_, root);
  if (!hive) return hive.status();
  std::vector<std::string> names;
  if (Key* key = hive.value().find(keyPath)) {
    for (const Value& v : key->values) names.push_back(v.name);
  }
  return names;
}

}  // namespace pm::posix
