// Test helpers for the database tests: a scratch folder, SQLite databases built
// with the sqlite3 command-line shell, and reading them back the same way.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace pm::testing {

// A fresh folder under the system's temporary folder, removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("pmdb-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    // Read-only files left by a test must not keep the folder alive.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec)) {
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Runs a command through the shell and returns its standard output.
inline std::string runShell(const std::string& command, int* exitCode = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = ::pclose(pipe);
  if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// Runs SQL on a SQLite database file with the sqlite3 shell; its output.
inline std::string sqlite(const std::filesystem::path& db, const std::string& sql) {
  return runShell("sqlite3 " + shellQuote(db.string()) + " " + shellQuote(sql) + " 2>&1");
}

// A product database as the main cabinet carries it: Company and Status, with
// `company` as the one company row.
inline void makeProductDatabase(const std::filesystem::path& db, const std::string& company) {
  sqlite(db,
         "CREATE TABLE Company (CompanyName TEXT, City TEXT);"
         "CREATE TABLE Status (StatusDescription TEXT, StatusDate TEXT, StatusValue TEXT);"
         "INSERT INTO Company VALUES ('" +
             company + "', NULL);");
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

// A registry store in memory: keys and value names compare without regard to
// case and keep the order in which values were made. `failReads` makes every
// call fail, as a store whose file cannot be parsed does.
class MemoryRegistry : public RegistryStore {
 public:
  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) override {
    if (failReads) return Status::failure("registry unreadable");
    auto key = keys_.find(id(root, keyPath));
    if (key == keys_.end()) return std::optional<RegValue>();
    for (auto& [name, value] : key->second) {
      if (lower(name) == lower(valueName)) return std::optional<RegValue>(value);
    }
    return std::optional<RegValue>();
  }
  Status writeValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                    const RegValue& value) override {
    if (failReads) return Status::failure("registry unreadable");
    ++writes;
    createKey(root, keyPath);
    auto& values = keys_[id(root, keyPath)];
    for (auto& [name, old] : values) {
      if (lower(name) == lower(valueName)) {
        old = value;
        return {};
      }
    }
    values.emplace_back(valueName, value);
    return {};
  }
  Status createKey(RootKey root, const std::string& keyPath) override {
    if (failReads) return Status::failure("registry unreadable");
    std::string path;
    for (char c : keyPath + "\\") {
      if (c == '\\') {
        if (!path.empty()) keys_[id(root, path)];
      }
      path += c;
    }
    return {};
  }
  Result<bool> keyExists(RootKey root, const std::string& keyPath) override {
    if (failReads) return Status::failure("registry unreadable");
    return keys_.count(id(root, keyPath)) > 0;
  }
  Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) override {
    if (failReads) return Status::failure("registry unreadable");
    std::vector<std::string> names;
    auto key = keys_.find(id(root, keyPath));
    if (key != keys_.end()) {
      for (auto& entry : key->second) names.push_back(entry.first);
    }
    return names;
  }

  // Every value of a key, in order (tests compare whole keys).
  std::vector<std::pair<std::string, RegValue>> values(const std::string& keyPath) const {
    auto key = keys_.find(id(RootKey::CurrentUser, keyPath));
    return key == keys_.end() ? std::vector<std::pair<std::string, RegValue>>{} : key->second;
  }

  bool failReads = false;
  int writes = 0;

 private:
  static std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  static std::string id(RootKey root, std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return std::to_string(static_cast<std::uint32_t>(root)) + ":" + lower(path);
  }
  std::map<std::string, std::vector<std::pair<std::string, RegValue>>> keys_;
};

}  // namespace pm::testing
