#include "database/connection.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdint>
#include <string_view>
#include "platform/text.h"

namespace pm::ado {
namespace {

// The number a data-access failure carries when the driver gives no native
// code: E_FAIL, what the data-access component reports on Windows in that case.
constexpr long kUnspecifiedFailure = static_cast<std::int32_t>(0x80004005u);
// The data-access component's own errors (ADO's codes for the same cases).
constexpr long kNoCurrentRecord = 3021;
constexpr long kItemNotFound = 3265;
constexpr long kObjectClosed = 3704;
constexpr long kObjectOpen = 3705;

constexpr const char* kRecordsetSource = "ADODB.Recordset";
constexpr const char* kConnectionSource = "ADODB.Connection";
constexpr const char* kDriverManagerSource = "ODBC Driver Manager";

bool succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// Splits "[vendor][component]text" into the bracketed prefixes and the text.
// The prefixes name the component that raised the message.
void splitDiagnostic(const std::string& message, std::string& source, std::string& text) {
  std::size_t pos = 0;
  source.clear();
  while (pos < message.size() && message[pos] == '[') {
    const std::size_t close = message.find(']', pos);
    if (close == std::string::npos) break;
    if (!source.empty()) source += ' ';
    source += message.substr(pos + 1, close - pos - 1);
    pos = close + 1;
  }
  text = message.substr(pos);
}

// The first diagnostic record of a handle as a pm::Error. `fallbackSource` names
// the component when the message carries no prefix (the driver's own messages).
Error diagnosticError(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& fallbackSource,
                      const std::string& whatFailed) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLCHAR buffer[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
  SQLSMALLINT length = 0;
  const SQLRETURN rc = handle == SQL_NULL_HANDLE
                           ? SQL_INVALID_HANDLE
                           : SQLGetDiagRec(handleType, handle, 1, state, &native, buffer,
                                           static_cast<SQLSMALLINT>(sizeof buffer), &length);
  if (!succeeded(rc)) {
    return Error(whatFailed + " failed without a diagnostic", fallbackSource, kUnspecifiedFailure);
  }
  std::string source;
  std::string text;
  splitDiagnostic(reinterpret_cast<const char*>(buffer), source, text);
  if (source.empty()) source = fallbackSource;
  const std::string sqlState(reinterpret_cast<const char*>(state));
  std::string description = text;
  if (!sqlState.empty()) description += " (SQLSTATE " + sqlState + ")";
  return Error(description, source, native != 0 ? static_cast<long>(native) : kUnspecifiedFailure);
}

bool isWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Matches `word` case-insensitively at `pos`; returns the position after it.
std::size_t matchWord(const std::string& s, std::size_t pos, std::string_view word) {
  if (pos + word.size() > s.size()) return std::string::npos;
  if (!equalsIgnoreCase(std::string_view(s).substr(pos, word.size()), word))
    return std::string::npos;
  return pos + word.size();
}

std::size_t skipBlanks(const std::string& s, std::size_t pos) {
  while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
  return pos;
}

// The end of "Delete * from" starting at `pos` (case-insensitive, any blanks
// between the words), or npos.
std::size_t matchAccessDelete(const std::string& s, std::size_t pos) {
  if (pos > 0 && isWordChar(s[pos - 1])) return std::string::npos;
  std::size_t p = matchWord(s, pos, "delete");
  if (p == std::string::npos) return p;
  p = skipBlanks(s, p);
  if (p >= s.size() || s[p] != '*') return std::string::npos;
  p = skipBlanks(s, p + 1);
  p = matchWord(s, p, "from");
  if (p == std::string::npos || (p < s.size() && isWordChar(s[p]))) return std::string::npos;
  return p;
}

}  // namespace

// ---------------------------------------------------------------- Recordset

bool Recordset::isEOF() const {
  return current_ >= rows_.size();
}

bool Recordset::isBOF() const {
  return rows_.empty();
}

void Recordset::MoveFirst() {
  if (rows_.empty()) {
    throw Error(
        "Either BOF or EOF is True, or the current record has been deleted. Requested "
        "operation requires a current record.",
        kRecordsetSource, kNoCurrentRecord);
  }
  current_ = 0;
}

void Recordset::MoveNext() {
  if (isEOF()) {
    throw Error(
        "Either BOF or EOF is True, or the current record has been deleted. Requested "
        "operation requires a current record.",
        kRecordsetSource, kNoCurrentRecord);
  }
  ++current_;
}

std::optional<std::string> Recordset::field(const std::string& name) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (!equalsIgnoreCase(columns[i], name)) continue;
    if (isEOF()) {
      throw Error(
          "Either BOF or EOF is True, or the current record has been deleted. Requested "
          "operation requires a current record.",
          kRecordsetSource, kNoCurrentRecord);
    }
    return rows_[current_][i];
  }
  throw Error(
      "Item cannot be found in the collection corresponding to the requested name or "
      "ordinal.",
      "ADODB.Fields", kItemNotFound);
}

// --------------------------------------------------------------- Connection

struct Connection::Handles {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  bool inTransaction = false;
  std::string driverName;  // source of the driver's own messages

  void release() {
    if (connected) SQLDisconnect(dbc);
    connected = false;
    inTransaction = false;
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
    dbc = SQL_NULL_HDBC;
    env = SQL_NULL_HENV;
  }
  ~Handles() { release(); }
};

Connection::Connection(DataSources& dataSources)
    : dataSources_(dataSources), handles_(std::make_unique<Handles>()) {}

Connection::~Connection() {
  // A connection dropped without Close: an open transaction is not committed.
  if (handles_->connected && handles_->inTransaction) {
    SQLEndTran(SQL_HANDLE_DBC, handles_->dbc, SQL_ROLLBACK);
  }
}

bool Connection::isOpen() const {
  return handles_->connected;
}

void Connection::Open() {
  if (handles_->connected) {
    throw Error("Operation is not allowed when the object is open.", kConnectionSource,
                kObjectOpen);
  }
  const Status prepared = dataSources_.prepare();
  if (!prepared) {
    throw Error(prepared.message(), "ODBC data sources", kUnspecifiedFailure);
  }

  Handles& h = *handles_;
  h.release();
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env))) {
    h.env = SQL_NULL_HENV;
    throw Error("The ODBC driver manager could not be started", kDriverManagerSource,
                kUnspecifiedFailure);
  }
  SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc))) {
    Error error = diagnosticError(SQL_HANDLE_ENV, h.env, kDriverManagerSource, "Connect");
    h.dbc = SQL_NULL_HDBC;
    h.release();
    throw error;
  }

  std::string text = ConnectionString;
  SQLCHAR out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc =
      SQLDriverConnect(h.dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                       static_cast<SQLSMALLINT>(text.size()), out,
                       static_cast<SQLSMALLINT>(sizeof out), &outLength, SQL_DRIVER_NOPROMPT);
  if (!succeeded(rc)) {
    Error error = diagnosticError(SQL_HANDLE_DBC, h.dbc, kDriverManagerSource, "Connect");
    h.release();
    throw error;
  }
  h.connected = true;

  SQLCHAR name[256] = {0};
  SQLSMALLINT nameLength = 0;
  if (succeeded(SQLGetInfo(h.dbc, SQL_DRIVER_NAME, name, static_cast<SQLSMALLINT>(sizeof name),
                           &nameLength))) {
    h.driverName = reinterpret_cast<const char*>(name);
  }
  if (h.driverName.empty()) h.driverName = "ODBC driver";
}

namespace {

// Reads one column of the current row as text; nullopt for NULL.
std::optional<std::string> readColumn(SQLHSTMT stmt, SQLUSMALLINT column, bool& ok) {
  std::string value;
  char chunk[4096];
  ok = true;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, chunk, sizeof chunk, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) {
      ok = false;
      return std::nullopt;
    }
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    // With more data to come the buffer is full but for its terminating NUL.
    std::size_t got;
    if (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof chunk)) {
      got = sizeof chunk - 1;
    } else {
      got = static_cast<std::size_t>(indicator);
    }
    value.append(chunk, got);
    if (rc == SQL_SUCCESS) break;
  }
  return value;
}

struct Statement {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  ~Statement() {
    if (handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle);
  }
};

}  // namespace

std::unique_ptr<Recordset> Connection::Execute(const std::string& statement,
                                               const std::vector<std::string>& parameters) {
  Handles& h = *handles_;
  if (!h.connected) {
    throw Error("Operation is not allowed when the object is closed.", kConnectionSource,
                kObjectClosed);
  }
  Statement stmt;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &stmt.handle))) {
    stmt.handle = SQL_NULL_HSTMT;
    throw diagnosticError(SQL_HANDLE_DBC, h.dbc, h.driverName, "Execute");
  }

  std::string sql = toDriverDialect(statement);
  SQLRETURN rc;
  if (parameters.empty()) {
    rc = SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(sql.data()),
                       static_cast<SQLINTEGER>(sql.size()));
  } else {
    rc = SQLPrepare(stmt.handle, reinterpret_cast<SQLCHAR*>(sql.data()),
                    static_cast<SQLINTEGER>(sql.size()));
    if (!succeeded(rc))
      throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, h.driverName, "Execute");
    // The bound texts and their lengths must stay put until SQLExecute returns.
    std::vector<std::string> values(parameters);
    std::vector<SQLLEN> lengths(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      lengths[i] = static_cast<SQLLEN>(values[i].size());
      rc = SQLBindParameter(stmt.handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                            SQL_C_CHAR, SQL_VARCHAR,
                            values[i].empty() ? 1 : static_cast<SQLULEN>(values[i].size()), 0,
                            values[i].data(), lengths[i], &lengths[i]);
      if (!succeeded(rc))
        throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, h.driverName, "Execute");
    }
    rc = SQLExecute(stmt.handle);
  }
  // SQL_NO_DATA: a searched update or delete that touched no row.
  if (!succeeded(rc) && rc != SQL_NO_DATA) {
    throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, h.driverName, "Execute");
  }

  auto records = std::make_unique<Recordset>();
  SQLSMALLINT columnCount = 0;
  if (rc == SQL_NO_DATA || !succeeded(SQLNumResultCols(stmt.handle, &columnCount)) ||
      columnCount <= 0) {
    return records;
  }
  for (SQLSMALLINT c = 1; c <= columnCount; ++c) {
    SQLCHAR name[256] = {0};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLDescribeCol(stmt.handle, static_cast<SQLUSMALLINT>(c), name,
                   static_cast<SQLSMALLINT>(sizeof name), &nameLength, &type, &size, &digits,
                   &nullable);
    records->columns.emplace_back(reinterpret_cast<const char*>(name));
  }
  for (;;) {
    rc = SQLFetch(stmt.handle);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, h.driverName, "Fetch");
    std::vector<std::optional<std::string>> row;
    row.reserve(static_cast<std::size_t>(columnCount));
    for (SQLSMALLINT c = 1; c <= columnCount; ++c) {
      bool ok = true;
      row.push_back(readColumn(stmt.handle, static_cast<SQLUSMALLINT>(c), ok));
      if (!ok) throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, h.driverName, "Fetch");
    }
    records->rows_.push_back(std::move(row));
  }
  return records;
}

void Connection::BeginTrans() {
  Handles& h = *handles_;
  if (!h.connected) {
    throw Error("Operation is not allowed when the object is closed.", kConnectionSource,
                kObjectClosed);
  }
  const SQLRETURN rc =
      SQLSetConnectAttr(h.dbc, SQL_ATTR_AUTOCOMMIT,
                        reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
  if (!succeeded(rc)) throw diagnosticError(SQL_HANDLE_DBC, h.dbc, h.driverName, "BeginTrans");
  h.inTransaction = true;
}

namespace {

void endTransaction(SQLHDBC dbc, SQLSMALLINT completion, const std::string& source,
                    const char* what) {
  std::optional<Error> error;
  if (!succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc, completion))) {
    error = diagnosticError(SQL_HANDLE_DBC, dbc, source, what);
    // A commit that failed is undone whole: turning autocommit back on would
    // otherwise commit whatever part of it the driver still holds.
    if (completion == SQL_COMMIT) SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  }
  // Outside of a transaction every statement commits on its own again.
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                    SQL_IS_UINTEGER);
  if (error) throw *error;
}

}  // namespace

void Connection::CommitTrans() {
  Handles& h = *handles_;
  if (!h.connected || !h.inTransaction) {
    throw Error("No transaction is active.", kConnectionSource, kUnspecifiedFailure);
  }
  h.inTransaction = false;
  endTransaction(h.dbc, SQL_COMMIT, h.driverName, "CommitTrans");
}

void Connection::RollbackTrans() {
  Handles& h = *handles_;
  if (!h.connected || !h.inTransaction) {
    throw Error("No transaction is active.", kConnectionSource, kUnspecifiedFailure);
  }
  h.inTransaction = false;
  endTransaction(h.dbc, SQL_ROLLBACK, h.driverName, "RollbackTrans");
}

void Connection::Close() {
  Handles& h = *handles_;
  if (!h.connected) return;
  // Work of a transaction that was never committed is undone, not half kept.
  if (h.inTransaction) SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_ROLLBACK);
  h.release();
}

std::string Connection::toDriverDialect(const std::string& accessSql) {
  std::string out;
  out.reserve(accessSql.size());
  std::size_t i = 0;
  while (i < accessSql.size()) {
    const char c = accessSql[i];
    if (c == '\'' || c == '"') {
      // A quoted literal is copied as it is; a doubled quote stays inside it.
      std::size_t j = i + 1;
      for (;;) {
        if (j >= accessSql.size()) break;
        if (accessSql[j] == c) {
          if (j + 1 < accessSql.size() && accessSql[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const std::size_t end = j < accessSql.size() ? j + 1 : j;
      out.append(accessSql, i, end - i);
      i = end;
      continue;
    }
    const std::size_t end = matchAccessDelete(accessSql, i);
    if (end != std::string::npos) {
      out += "DELETE FROM";
      i = end;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace pm::ado
