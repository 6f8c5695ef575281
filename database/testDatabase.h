// Test helpers for the database tests: SQLite databases built and read with the
// sqlite3 command-line shell.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/posix/testMachine.h"

namespace pm::testing {

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

}  // namespace pm::testing
