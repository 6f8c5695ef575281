// Test helpers for the database tests: SQLite databases built and read through
// the SQLite ODBC driver of the machine under test.
#pragma once

#include <filesystem>
#include <string>

#include "machineUnderTest.h"
#include "platform/result.h"
#include "tests/wholeFiles.h"

namespace pm::testing {

// Runs SQL (one statement or more) on a SQLite database file, made when
// missing; the rows as the sqlite3 shell prints them ("a|b" a line, NULL as
// nothing), or the failure's description.
inline std::string sqlite(const std::filesystem::path& db, const std::string& sql) {
  try {
    std::string out;
    for (const auto& row : MachineUnderTest::openSqlite(db)->execute(sql, {}).values) {
      for (std::size_t i = 0; i < row.size(); ++i) out += (i ? "|" : "") + row[i].value_or("");
      out += "\n";
    }
    return out;
  } catch (const Error& e) {
    return e.description();
  }
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
