#include "database/connection.h"

#include <cctype>
#include <string_view>
#include "platform/text.h"

namespace pm::ado {
namespace {

// The data-access component's own errors (ADO's codes for the same cases).
constexpr long kNoCurrentRecord = 3021;
constexpr long kItemNotFound = 3265;
constexpr long kObjectClosed = 3704;
constexpr long kObjectOpen = 3705;

constexpr const char* kRecordsetSource = "ADODB.Recordset";
constexpr const char* kConnectionSource = "ADODB.Connection";

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
  std::unique_ptr<DataSession> session;  // open while connected
  bool inTransaction = false;

  // Work of a transaction that was never committed is undone, not half kept.
  void rollbackOpenTransaction() {
    if (!session || !inTransaction) return;
    inTransaction = false;
    try {
      session->endTransaction(false);
    } catch (const Error&) {
      // Closing the connection undoes it all the same.
    }
  }
};

Connection::Connection(DataSources& dataSources)
    : dataSources_(dataSources), handles_(std::make_unique<Handles>()) {}

Connection::~Connection() {
  // A connection dropped without Close: an open transaction is not committed.
  handles_->rollbackOpenTransaction();
}

bool Connection::isOpen() const {
  return handles_->session != nullptr;
}

void Connection::Open() {
  if (handles_->session) {
    throw Error("Operation is not allowed when the object is open.", kConnectionSource,
                kObjectOpen);
  }
  const Status prepared = dataSources_.prepare();
  if (!prepared) {
    throw Error(prepared.message(), "ODBC data sources", kUnspecifiedFailure);
  }
  handles_->inTransaction = false;
  handles_->session = dataSources_.connect(ConnectionString);
}

namespace {

DataSession& openSession(const std::unique_ptr<DataSession>& session) {
  if (!session) {
    throw Error("Operation is not allowed when the object is closed.", kConnectionSource,
                kObjectClosed);
  }
  return *session;
}

}  // namespace

std::unique_ptr<Recordset> Connection::Execute(const std::string& statement,
                                               const std::vector<std::string>& parameters) {
  Rows rows = openSession(handles_->session).execute(toDriverDialect(statement), parameters);
  auto records = std::make_unique<Recordset>();
  records->columns = std::move(rows.columns);
  records->rows_ = std::move(rows.values);
  return records;
}

void Connection::BeginTrans() {
  openSession(handles_->session).setAutocommit(false);
  handles_->inTransaction = true;
}

namespace {

void endTransaction(DataSession& session, bool commit) {
  std::optional<Error> error;
  try {
    session.endTransaction(commit);
  } catch (const Error& e) {
    error = e;
    // A commit that failed is undone whole: turning autocommit back on would
    // otherwise commit whatever part of it the driver still holds.
    if (commit) {
      try {
        session.endTransaction(false);
      } catch (const Error&) {
      }
    }
  }
  // Outside of a transaction every statement commits on its own again.
  try {
    session.setAutocommit(true);
  } catch (const Error&) {
  }
  if (error) throw *error;
}

}  // namespace

void Connection::CommitTrans() {
  Handles& h = *handles_;
  if (!h.session || !h.inTransaction) {
    throw Error("No transaction is active.", kConnectionSource, kUnspecifiedFailure);
  }
  h.inTransaction = false;
  endTransaction(*h.session, true);
}

void Connection::RollbackTrans() {
  Handles& h = *handles_;
  if (!h.session || !h.inTransaction) {
    throw Error("No transaction is active.", kConnectionSource, kUnspecifiedFailure);
  }
  h.inTransaction = false;
  endTransaction(*h.session, false);
}

void Connection::Close() {
  handles_->rollbackOpenTransaction();
  handles_->session.reset();
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
