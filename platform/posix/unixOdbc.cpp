#include "platform/posix/unixOdbc.h"

#include <sql.h>
#include <sqlext.h>

namespace pm::posix {
namespace {

constexpr const char* kDriverManagerSource = "ODBC Driver Manager";

bool succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The first diagnostic record of a handle as a pm::Error.
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
  return driverError(reinterpret_cast<const char*>(buffer), reinterpret_cast<const char*>(state),
                     static_cast<long>(native), fallbackSource);
}

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

class UnixOdbcSession : public DataSession {
 public:
  ~UnixOdbcSession() override {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  void connect(const std::string& connectionString) {
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
      env_ = SQL_NULL_HENV;
      throw Error("The ODBC driver manager could not be started", kDriverManagerSource,
                  kUnspecifiedFailure);
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
      dbc_ = SQL_NULL_HDBC;
      throw diagnosticError(SQL_HANDLE_ENV, env_, kDriverManagerSource, "Connect");
    }
    std::string text = connectionString;
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                         static_cast<SQLSMALLINT>(text.size()), out,
                         static_cast<SQLSMALLINT>(sizeof out), &outLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc))
      throw diagnosticError(SQL_HANDLE_DBC, dbc_, kDriverManagerSource, "Connect");
    connected_ = true;

    SQLCHAR name[256] = {0};
    SQLSMALLINT nameLength = 0;
    if (succeeded(SQLGetInfo(dbc_, SQL_DRIVER_NAME, name, static_cast<SQLSMALLINT>(sizeof name),
                             &nameLength))) {
      driverName_ = reinterpret_cast<const char*>(name);
    }
    if (driverName_.empty()) driverName_ = "ODBC driver";
  }

  Rows execute(const std::string& statement, const std::vector<std::string>& parameters) override {
    Statement stmt;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt.handle))) {
      stmt.handle = SQL_NULL_HSTMT;
      throw diagnosticError(SQL_HANDLE_DBC, dbc_, driverName_, "Execute");
    }
    std::string sql = statement;
    SQLRETURN rc;
    if (parameters.empty()) {
      rc = SQLExecDirect(stmt.handle, reinterpret_cast<SQLCHAR*>(sql.data()),
                         static_cast<SQLINTEGER>(sql.size()));
    } else {
      rc = SQLPrepare(stmt.handle, reinterpret_cast<SQLCHAR*>(sql.data()),
                      static_cast<SQLINTEGER>(sql.size()));
      if (!succeeded(rc))
        throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, driverName_, "Execute");
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
          throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, driverName_, "Execute");
      }
      rc = SQLExecute(stmt.handle);
    }
    // SQL_NO_DATA: a searched update or delete that touched no row.
    if (!succeeded(rc) && rc != SQL_NO_DATA) {
      throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, driverName_, "Execute");
    }

    Rows rows;
    SQLSMALLINT columnCount = 0;
    if (rc == SQL_NO_DATA || !succeeded(SQLNumResultCols(stmt.handle, &columnCount)) ||
        columnCount <= 0) {
      return rows;
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
      rows.columns.emplace_back(reinterpret_cast<const char*>(name));
    }
    for (;;) {
      rc = SQLFetch(stmt.handle);
      if (rc == SQL_NO_DATA) break;
      if (!succeeded(rc)) throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, driverName_, "Fetch");
      std::vector<std::optional<std::string>> row;
      row.reserve(static_cast<std::size_t>(columnCount));
      for (SQLSMALLINT c = 1; c <= columnCount; ++c) {
        bool ok = true;
        row.push_back(readColumn(stmt.handle, static_cast<SQLUSMALLINT>(c), ok));
        if (!ok) throw diagnosticError(SQL_HANDLE_STMT, stmt.handle, driverName_, "Fetch");
      }
      rows.values.push_back(std::move(row));
    }
    return rows;
  }

  void setAutocommit(bool on) override {
    const SQLRETURN rc = SQLSetConnectAttr(
        dbc_, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
    if (!succeeded(rc)) throw diagnosticError(SQL_HANDLE_DBC, dbc_, driverName_, "BeginTrans");
  }

  void endTransaction(bool commit) override {
    if (!succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK))) {
      throw diagnosticError(SQL_HANDLE_DBC, dbc_, driverName_,
                            commit ? "CommitTrans" : "RollbackTrans");
    }
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string driverName_;  // source of the driver's own messages
};

}  // namespace

std::unique_ptr<DataSession> connectUnixOdbc(const std::string& connectionString) {
  auto session = std::make_unique<UnixOdbcSession>();
  session->connect(connectionString);
  return session;
}

}  // namespace pm::posix
