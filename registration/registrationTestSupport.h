// What the registration tests share: a scratch folder, SQLite databases made
// with the sqlite3 shell and reached through unixODBC, a file system that only
// knows short names, a fixed clock, and the services bundle around them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "console/installWindow.h"
#include "platform/ddeLinks.h"
#include "tests/fakeInstallWindow.h"

namespace pm::testing {

inline constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

class Scratch {
 public:
  Scratch() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("pmreg-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string readWhole(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeWhole(const std::filesystem::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string shellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs SQL with the sqlite3 shell; its output (rows as a|b|c lines).
inline std::string sqlite(const std::filesystem::path& db, const std::string& sql) {
  const std::string command =
      "sqlite3 -nullvalue '<NULL>' " + shellQuoted(db.string()) + " " + shellQuoted(sql) + " 2>&1";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// The data source "Dorvane" for the SQLite driver, written straight into a
// user odbc.ini that ODBCINI points at.
class IniDataSources : public DataSources {
 public:
  explicit IniDataSources(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_ / "sys");
    forget();
  }
  void point(const std::filesystem::path& database) {
    writeWhole(folder_ / "odbc.ini", std::string("[Dorvane]\nDriver=") + kSqliteDriver +
                                         "\nDatabase=" + database.string() + "\nNoCreat=1\n");
  }
  void forget() { writeWhole(folder_ / "odbc.ini", ""); }
  Status prepare() override {
    ::setenv("ODBCINI", (folder_ / "odbc.ini").c_str(), 1);
    ::setenv("ODBCSYSINI", (folder_ / "sys").c_str(), 1);
    return {};
  }

 private:
  std::filesystem::path folder_;
};

// A clock that stands still on 6 December 2026 and writes dates as M/D/YYYY.
class FixedClock : public Clock {
 public:
  DateTime now() override { return DateTime::fromCivil(2026, 12, 6, 10, 30, 0); }
  void sleepUntil(DateTime) override {}
  std::string shortDate(const CivilDate& d) override {
    return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
  }
};

// A file system that knows nothing but the short forms it is given.
class ShortNameFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> shortForms;
  std::vector<std::string> shortPathQueries;

  Result<std::string> shortPath(const std::string& path) override {
    shortPathQueries.push_back(path);
    auto it = shortForms.find(path);
    if (it == shortForms.end()) return Status::failure("no short name for " + path);
    return it->second;
  }
  bool folderExists(const std::string&) override { return false; }
  bool fileExists(const std::string&) override { return false; }
  Status createFolder(const std::string&) override { return unused(); }
  Status deleteFolder(const std::string&, bool) override { return unused(); }
  Status copyFile(const std::string&, const std::string&, bool) override { return unused(); }
  Status deleteFile(const std::string&, bool) override { return unused(); }
  Result<DateTime> modificationTime(const std::string&) override { return unused(); }
  Status setModificationTime(const std::string&, DateTime) override { return unused(); }
  Result<std::vector<std::string>> listFiles(const std::string&) override { return unused(); }
  Status setWorkingFolder(const std::string&) override { return unused(); }
  std::string workingFolder() override { return "C:\\"; }
  std::string absolutePath(const std::string& path) override { return path; }
  Result<std::string> readText(const std::string&) override { return unused(); }
  Status writeText(const std::string&, const std::string&) override { return unused(); }
  Result<std::string> systemFolder() override { return std::string("C:\\windows\\system32"); }

 private:
  static Status unused() { return Status::failure("not used by these tests"); }
};

class NoProcesses : public ProcessRunner {
 public:
  std::int32_t runAndWait(const std::string&) override { return -1; }
  Status start(const std::string&) override { return Status::failure("no processes here"); }
};

class NoRegistry : public RegistryStore {
 public:
  Result<std::optional<RegValue>> readValue(RootKey, const std::string&,
                                            const std::string&) override {
    return Status::failure("no registry here");
  }
  Status writeValue(RootKey, const std::string&, const std::string&, const RegValue&) override {
    return Status::failure("no registry here");
  }
  Status createKey(RootKey, const std::string&) override {
    return Status::failure("no registry here");
  }
  Result<bool> keyExists(RootKey, const std::string&) override {
    return Status::failure("no registry here");
  }
};

}  // namespace pm::testing
