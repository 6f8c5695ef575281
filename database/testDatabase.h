// Test helpers for the database tests: SQLite databases built and read with the
// sqlite3 command-line shell, and whole files.
#pragma once

#include <cstdio>
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

// Runs SQL on a SQLite database file with the sqlite3 shell; its output.
inline std::string sqlite(const std::filesystem::path& db, const std::string& sql) {
  std::string out;
  FILE* pipe = ::popen(
      ("sqlite3 " + shellQuote(db.string()) + " " + shellQuote(sql) + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  if (pipe) ::pclose(pipe);
  return out;
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
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace pm::testing
