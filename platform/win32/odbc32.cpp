#include "platform/win32/odbc32.h"

// Text goes to the wide (W) functions only, UTF-8 <-> UTF-16 at each call:
// Windows would take narrow text in the ANSI code page, and Wine's odbc32
// lacks several narrow functions altogether (calling one ends the program).
#include <windows.h>
// after windows.h, whose types they use
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

constexpr const char* kDriverManagerSource = "ODBC Driver Manager";

// The entry points of odbc32.dll that a connection uses.
struct Odbc32 {
  decltype(&::SQLAllocHandle) allocHandle;
  decltype(&::SQLFreeHandle) freeHandle;
  decltype(&::SQLSetEnvAttr) setEnvAttr;
  decltype(&::SQLSetConnectAttrW) setConnectAttr;
  decltype(&::SQLDriverConnectW) driverConnect;
  decltype(&::SQLDisconnect) disconnect;
  decltype(&::SQLEndTran) endTran;
  decltype(&::SQLExecDirectW) execDirect;
  decltype(&::SQLPrepareW) prepare;
  decltype(&::SQLExecute) execute;
  decltype(&::SQLBindParameter) bindParameter;
  decltype(&::SQLNumResultCols) numResultCols;
  decltype(&::SQLDescribeColW) describeCol;
  decltype(&::SQLFetch) fetch;
  decltype(&::SQLGetData) getData;
  decltype(&::SQLGetDiagRecW) getDiagRec;
  decltype(&::SQLGetInfoW) getInfo;

  bool complete() const {
    return allocHandle && freeHandle && setEnvAttr && setConnectAttr && driverConnect &&
           disconnect && endTran && execDirect && prepare && execute && bindParameter &&
           numResultCols && describeCol && fetch && getData && getDiagRec && getInfo;
  }
};

// odbc32.dll's entry points, or nullptr when the DLL or one of them is missing.
const Odbc32* odbc32() {
  static SystemLibrary dll(L"odbc32.dll");
  static const Odbc32 calls = [] {
    Odbc32 c{};
    c.allocHandle = dll.function<decltype(c.allocHandle)>("SQLAllocHandle");
    c.freeHandle = dll.function<decltype(c.freeHandle)>("SQLFreeHandle");
    c.setEnvAttr = dll.function<decltype(c.setEnvAttr)>("SQLSetEnvAttr");
    c.setConnectAttr = dll.function<decltype(c.setConnectAttr)>("SQLSetConnectAttrW");
    c.driverConnect = dll.function<decltype(c.driverConnect)>("SQLDriverConnectW");
    c.disconnect = dll.function<decltype(c.disconnect)>("SQLDisconnect");
    c.endTran = dll.function<decltype(c.endTran)>("SQLEndTran");
    c.execDirect = dll.function<decltype(c.execDirect)>("SQLExecDirectW");
    c.prepare = dll.function<decltype(c.prepare)>("SQLPrepareW");
    c.execute = dll.function<decltype(c.execute)>("SQLExecute");
    c.bindParameter = dll.function<decltype(c.bindParameter)>("SQLBindParameter");
    c.numResultCols = dll.function<decltype(c.numResultCols)>("SQLNumResultCols");
    c.describeCol = dll.function<decltype(c.describeCol)>("SQLDescribeColW");
    c.fetch = dll.function<decltype(c.fetch)>("SQLFetch");
    c.getData = dll.function<decltype(c.getData)>("SQLGetData");
    c.getDiagRec = dll.function<decltype(c.getDiagRec)>("SQLGetDiagRecW");
    c.getInfo = dll.function<decltype(c.getInfo)>("SQLGetInfoW");
    return c;
  }();
  return calls.complete() ? &calls : nullptr;
}

bool succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

SQLWCHAR* wideData(std::wstring& text) {
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

std::string narrowOf(const SQLWCHAR* text, std::size_t chars) {
  return narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(text), chars));
}

class Odbc32Session : public DataSession {
 public:
  explicit Odbc32Session(const Odbc32& odbc) : odbc_(odbc) {}
  ~Odbc32Session() override {
    if (connected_) odbc_.disconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) odbc_.freeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) odbc_.freeHandle(SQL_HANDLE_ENV, env_);
  }

  void connect(const std::string& connectionString) {
    if (!succeeded(odbc_.allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
      env_ = SQL_NULL_HENV;
      throw Error("The ODBC driver manager could not be started", kDriverManagerSource,
                  kUnspecifiedFailure);
    }
    odbc_.setEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!succeeded(odbc_.allocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
      dbc_ = SQL_NULL_HDBC;
      throw diagnosticError(SQL_HANDLE_ENV, env_, kDriverManagerSource, "Connect");
    }
    std::wstring text = widen(connectionString);
    std::vector<SQLWCHAR> out(1024);
    SQLSMALLINT outLength = 0;
    if (!succeeded(odbc_.driverConnect(
            dbc_, nullptr, wideData(text), static_cast<SQLSMALLINT>(text.size()), out.data(),
            static_cast<SQLSMALLINT>(out.size()), &outLength, SQL_DRIVER_NOPROMPT))) {
      throw diagnosticError(SQL_HANDLE_DBC, dbc_, kDriverManagerSource, "Connect");
    }
    connected_ = true;
    SQLWCHAR name[256] = {0};
    SQLSMALLINT nameBytes = 0;
    if (succeeded(odbc_.getInfo(dbc_, SQL_DRIVER_NAME, name, sizeof name, &nameBytes))) {
      driverName_ = narrowOf(name, std::min<std::size_t>(nameBytes / sizeof(SQLWCHAR), 255));
    }
    if (driverName_.empty()) driverName_ = "ODBC driver";
  }

  Rows execute(const std::string& statement, const std::vector<std::string>& parameters) override {
    Statement stmt(odbc_);
    if (!succeeded(odbc_.allocHandle(SQL_HANDLE_STMT, dbc_, &stmt.handle))) {
      stmt.handle = SQL_NULL_HSTMT;
      throw diagnosticError(SQL_HANDLE_DBC, dbc_, driverName_, "Execute");
    }
    std::wstring sql = widen(statement);
    SQLRETURN rc;
    // The bound texts and their lengths must stay put until SQLExecute returns.
    std::vector<std::wstring> values;
    std::vector<SQLLEN> lengths(parameters.size());
    if (parameters.empty()) {
      rc = odbc_.execDirect(stmt.handle, wideData(sql), static_cast<SQLINTEGER>(sql.size()));
    } else {
      rc = odbc_.prepare(stmt.handle, wideData(sql), static_cast<SQLINTEGER>(sql.size()));
      if (!succeeded(rc)) throw stmt.error(*this, "Execute");
      for (const std::string& parameter : parameters) values.push_back(widen(parameter));
      for (std::size_t i = 0; i < values.size(); ++i) {
        lengths[i] = static_cast<SQLLEN>(values[i].size() * sizeof(SQLWCHAR));
        rc = odbc_.bindParameter(stmt.handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                 SQL_C_WCHAR, SQL_WVARCHAR,
                                 values[i].empty() ? 1 : static_cast<SQLULEN>(values[i].size()), 0,
                                 wideData(values[i]), lengths[i], &lengths[i]);
        if (!succeeded(rc)) throw stmt.error(*this, "Execute");
      }
      rc = odbc_.execute(stmt.handle);
    }
    // SQL_NO_DATA: a searched update or delete that touched no row.
    if (!succeeded(rc) && rc != SQL_NO_DATA) throw stmt.error(*this, "Execute");

    Rows rows;
    SQLSMALLINT columnCount = 0;
    if (rc == SQL_NO_DATA || !succeeded(odbc_.numResultCols(stmt.handle, &columnCount)) ||
        columnCount <= 0) {
      return rows;
    }
    for (SQLSMALLINT c = 1; c <= columnCount; ++c) {
      SQLWCHAR name[256] = {0};
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      odbc_.describeCol(stmt.handle, static_cast<SQLUSMALLINT>(c), name, 256, &nameLength, &type,
                        &size, &digits, &nullable);
      rows.columns.push_back(narrowOf(name, std::min<std::size_t>(nameLength, 255)));
    }
    for (;;) {
      rc = odbc_.fetch(stmt.handle);
      if (rc == SQL_NO_DATA) break;
      if (!succeeded(rc)) throw stmt.error(*this, "Fetch");
      std::vector<std::optional<std::string>> row;
      for (SQLSMALLINT c = 1; c <= columnCount; ++c) {
        bool ok = true;
        row.push_back(readColumn(stmt.handle, static_cast<SQLUSMALLINT>(c), ok));
        if (!ok) throw stmt.error(*this, "Fetch");
      }
      rows.values.push_back(std::move(row));
    }
    return rows;
  }

  void setAutocommit(bool on) override {
    // A numeric attribute: the W entry takes it as the narrow one would.
    const SQLRETURN rc = odbc_.setConnectAttr(
        dbc_, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
    if (!succeeded(rc)) throw diagnosticError(SQL_HANDLE_DBC, dbc_, driverName_, "BeginTrans");
  }

  void endTransaction(bool commit) override {
    if (!succeeded(odbc_.endTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK))) {
      throw diagnosticError(SQL_HANDLE_DBC, dbc_, driverName_,
                            commit ? "CommitTrans" : "RollbackTrans");
    }
  }

 private:
  struct Statement {
    explicit Statement(const Odbc32& odbc) : odbc(odbc) {}
    ~Statement() {
      if (handle != SQL_NULL_HSTMT) odbc.freeHandle(SQL_HANDLE_STMT, handle);
    }
    Error error(const Odbc32Session& session, const char* what) const {
      return session.diagnosticError(SQL_HANDLE_STMT, handle, session.driverName_, what);
    }
    const Odbc32& odbc;
    SQLHSTMT handle = SQL_NULL_HSTMT;
  };

  // The first diagnostic record of a handle as a pm::Error.
  Error diagnosticError(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& fallbackSource,
                        const std::string& whatFailed) const {
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> text(SQL_MAX_MESSAGE_LENGTH + 1);
    SQLSMALLINT length = 0;
    const SQLRETURN rc = handle == SQL_NULL_HANDLE
                             ? SQL_INVALID_HANDLE
                             : odbc_.getDiagRec(handleType, handle, 1, state, &native, text.data(),
                                                static_cast<SQLSMALLINT>(text.size()), &length);
    if (!succeeded(rc)) {
      return Error(whatFailed + " failed without a diagnostic", fallbackSource,
                   kUnspecifiedFailure);
    }
    return driverError(
        narrowOf(text.data(), std::min<std::size_t>(length, text.size() - 1)),
        narrowOf(state, std::char_traits<wchar_t>::length(reinterpret_cast<const wchar_t*>(state))),
        static_cast<long>(native), fallbackSource);
  }

  // Reads one column of the current row as text; nullopt for NULL.
  std::optional<std::string> readColumn(SQLHSTMT stmt, SQLUSMALLINT column, bool& ok) {
    std::wstring value;
    wchar_t chunk[2048];
    ok = true;
    for (;;) {
      SQLLEN got = 0;
      const SQLRETURN rc = odbc_.getData(stmt, column, SQL_C_WCHAR, chunk, sizeof chunk, &got);
      if (rc == SQL_NO_DATA) break;
      if (!succeeded(rc)) {
        ok = false;
        return std::nullopt;
      }
      if (got == SQL_NULL_DATA) return std::nullopt;
      // With more data to come the buffer is full but for its terminating NUL.
      const std::size_t chars = got == SQL_NO_TOTAL || got >= static_cast<SQLLEN>(sizeof chunk)
                                    ? sizeof chunk / sizeof(wchar_t) - 1
                                    : static_cast<std::size_t>(got) / sizeof(wchar_t);
      value.append(chunk, chars);
      if (rc == SQL_SUCCESS) break;
    }
    return narrow(value);
  }

  const Odbc32& odbc_;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string driverName_;  // source of the driver's own messages
};

}  // namespace

std::unique_ptr<DataSession> connectOdbc32(const std::string& connectionString) {
  const Odbc32* odbc = odbc32();
  if (!odbc) {
    throw Error("The ODBC driver manager (odbc32.dll) could not be loaded from the system folder",
                kDriverManagerSource, kUnspecifiedFailure);
  }
  auto session = std::make_unique<Odbc32Session>(*odbc);
  session->connect(connectionString);
  return session;
}

}  // namespace pm::win32
