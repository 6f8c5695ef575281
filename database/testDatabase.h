// Test helpers for the database tests: SQLite databases built and read with the
// sqlite3 command-line shell, whole files, and shell commands.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pm::testing {

inline std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a command through the shell; its standard output (and exit code).
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

// A product database as the main cabinet carries it: Company, with `company`
// as its one row, and an empty Status.
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
  std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace pm::testing
