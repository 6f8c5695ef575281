// The ODBC calls of the data layer, answered by the system's driver manager
// (odbc32.dll, loaded from the system folder at run time, never imported).
//
// The data layer speaks UTF-8 through the narrow ODBC API. Windows would take
// narrow text in the ANSI code page, and Wine's odbc32 lacks several narrow
// functions altogether (calling one ends the program), so every call that
// carries text goes to the wide (W) function, converting UTF-8 <-> UTF-16 here;
// text data (SQL_C_CHAR) is read and bound as SQL_C_WCHAR.
#include <windows.h>
// after windows.h, whose types they use
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"

namespace {

using pm::win32::narrow;
using pm::win32::widen;

pm::win32::SystemLibrary& odbc32() {
  static pm::win32::SystemLibrary dll(L"odbc32.dll");
  return dll;
}

template <typename F>
F entry(const char* name) {
  return odbc32().function<F>(name);
}

#define PM_ODBC_CALL(name, ...)                             \
  do {                                                      \
    static const auto fn = entry<decltype(&::name)>(#name); \
    if (!fn) return SQL_ERROR;                              \
    return fn(__VA_ARGS__);                                 \
  } while (0)

std::wstring wideArgument(const SQLCHAR* text, SQLINTEGER length) {
  if (!text) return {};
  const char* s = reinterpret_cast<const char*>(text);
  return widen(length == SQL_NTS ? std::string_view(s) : std::string_view(s, length));
}

// Copies UTF-8 into a caller's buffer of `size` bytes, NUL-terminated, and
// gives the full length in bytes; true when it fitted.
bool copyOut(const std::string& text, SQLCHAR* buffer, SQLLEN size, SQLSMALLINT* length) {
  if (length) *length = static_cast<SQLSMALLINT>(text.size());
  if (!buffer || size <= 0) return text.empty();
  const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return n == text.size();
}

// What the text calls of one statement keep between calls: the wide copies of
// bound parameters (alive until the statement goes) and the column being read.
struct StatementText {
  std::map<SQLUSMALLINT, std::pair<std::wstring, SQLLEN>> parameters;
  SQLUSMALLINT column = 0;
  std::string value;  // UTF-8 of the column being read
  std::size_t served = 0;
  bool reading = false;
};
std::mutex statementsLock;
std::map<SQLHANDLE, StatementText> statements;

StatementText& textOf(SQLHANDLE stmt) {
  return statements[stmt];
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  PM_ODBC_CALL(SQLAllocHandle, type, input, output);
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  if (type == SQL_HANDLE_STMT) {
    std::lock_guard lock(statementsLock);
    statements.erase(handle);
  }
  PM_ODBC_CALL(SQLFreeHandle, type, handle);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                SQLINTEGER length) {
  PM_ODBC_CALL(SQLSetEnvAttr, env, attribute, value, length);
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER length) {
  // Only numeric attributes are set by the data layer; the W entry takes them alike.
  PM_ODBC_CALL(SQLSetConnectAttrW, dbc, attribute, value, length);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                   SQLUSMALLINT completion) {
  static const auto fn = entry<decltype(&::SQLDriverConnectW)>("SQLDriverConnectW");
  if (!fn) return SQL_ERROR;
  std::wstring connection = wideArgument(in, inLength);
  std::vector<SQLWCHAR> result(1024);
  SQLSMALLINT got = 0;
  const SQLRETURN rc = fn(dbc, window, reinterpret_cast<SQLWCHAR*>(connection.data()),
                          static_cast<SQLSMALLINT>(connection.size()), result.data(),
                          static_cast<SQLSMALLINT>(result.size()), &got, completion);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(got), result.size() - 1);
    copyOut(narrow(std::wstring_view(reinterpret_cast<wchar_t*>(result.data()), n)), out, outMax,
            outLength);
  }
  return rc;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
  PM_ODBC_CALL(SQLDisconnect, dbc);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  PM_ODBC_CALL(SQLEndTran, type, handle, completion);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  static const auto fn = entry<decltype(&::SQLExecDirectW)>("SQLExecDirectW");
  if (!fn) return SQL_ERROR;
  std::wstring w = wideArgument(text, length);
  return fn(stmt, reinterpret_cast<SQLWCHAR*>(w.data()), static_cast<SQLINTEGER>(w.size()));
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  static const auto fn = entry<decltype(&::SQLPrepareW)>("SQLPrepareW");
  if (!fn) return SQL_ERROR;
  std::wstring w = wideArgument(text, length);
  return fn(stmt, reinterpret_cast<SQLWCHAR*>(w.data()), static_cast<SQLINTEGER>(w.size()));
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) {
  PM_ODBC_CALL(SQLExecute, stmt);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
  PM_ODBC_CALL(SQLNumResultCols, stmt, count);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) {
  {
    std::lock_guard lock(statementsLock);
    textOf(stmt).reading = false;
  }
  PM_ODBC_CALL(SQLFetch, stmt);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT io,
                                   SQLSMALLINT valueType, SQLSMALLINT parameterType,
                                   SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER value,
                                   SQLLEN bufferLength, SQLLEN* indicator) {
  static const auto fn = entry<decltype(&::SQLBindParameter)>("SQLBindParameter");
  if (!fn) return SQL_ERROR;
  if (valueType != SQL_C_CHAR || io != SQL_PARAM_INPUT)
    return fn(stmt, number, io, valueType, parameterType, columnSize, digits, value, bufferLength,
              indicator);
  // Text parameters travel as UTF-16, kept with the statement until it goes.
  std::lock_guard lock(statementsLock);
  auto& slot = textOf(stmt).parameters[number];
  const SQLLEN length = indicator ? *indicator : SQL_NTS;
  slot.first = length == SQL_NULL_DATA
                   ? std::wstring()
                   : wideArgument(static_cast<SQLCHAR*>(value), static_cast<SQLINTEGER>(length));
  slot.second = length == SQL_NULL_DATA ? SQL_NULL_DATA
                                        : static_cast<SQLLEN>(slot.first.size() * sizeof(wchar_t));
  const SQLSMALLINT wideType = parameterType == SQL_LONGVARCHAR ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
  return fn(stmt, number, io, SQL_C_WCHAR, wideType,
            slot.first.empty() ? 1 : static_cast<SQLULEN>(slot.first.size()), digits,
            slot.first.data(), slot.second, &slot.second);
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                                 SQLSMALLINT nameMax, SQLSMALLINT* nameLength, SQLSMALLINT* type,
                                 SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  static const auto fn = entry<decltype(&::SQLDescribeColW)>("SQLDescribeColW");
  if (!fn) return SQL_ERROR;
  SQLWCHAR wide[512];
  SQLSMALLINT got = 0;
  const SQLRETURN rc = fn(stmt, column, wide, 512, &got, type, size, digits, nullable);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
    copyOut(narrow(std::wstring_view(reinterpret_cast<wchar_t*>(wide), std::min<int>(got, 511))),
            name, nameMax, nameLength);
  return rc;
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator) {
  static const auto fn = entry<decltype(&::SQLGetData)>("SQLGetData");
  if (!fn) return SQL_ERROR;
  if (targetType != SQL_C_CHAR)
    return fn(stmt, column, targetType, target, bufferLength, indicator);
  std::lock_guard lock(statementsLock);
  StatementText& st = textOf(stmt);
  if (!st.reading || st.column != column) {
    // The whole value as UTF-16, then served as UTF-8 in the caller's pieces.
    std::wstring value;
    wchar_t chunk[2048];
    for (;;) {
      SQLLEN got = 0;
      const SQLRETURN rc = fn(stmt, column, SQL_C_WCHAR, chunk, sizeof chunk, &got);
      if (rc == SQL_NO_DATA) break;
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
      if (got == SQL_NULL_DATA) {
        if (indicator) *indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
      }
      const std::size_t chars = got == SQL_NO_TOTAL || got >= static_cast<SQLLEN>(sizeof chunk)
                                    ? sizeof chunk / sizeof(wchar_t) - 1
                                    : static_cast<std::size_t>(got) / sizeof(wchar_t);
      value.append(chunk, chars);
      if (rc == SQL_SUCCESS) break;
    }
    st.column = column;
    st.value = narrow(value);
    st.served = 0;
    st.reading = true;
  } else if (st.served >= st.value.size()) {
    return SQL_NO_DATA;
  }
  const std::size_t left = st.value.size() - st.served;
  if (indicator) *indicator = static_cast<SQLLEN>(left);
  if (bufferLength <= 0) return SQL_SUCCESS_WITH_INFO;
  const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(bufferLength - 1));
  std::memcpy(target, st.value.data() + st.served, n);
  static_cast<char*>(target)[n] = 0;
  st.served += n;
  if (n < left) return SQL_SUCCESS_WITH_INFO;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                SQLSMALLINT messageMax, SQLSMALLINT* messageLength) {
  static const auto fn = entry<decltype(&::SQLGetDiagRecW)>("SQLGetDiagRecW");
  if (!fn) return SQL_ERROR;
  SQLWCHAR wideState[6] = {0};
  std::vector<SQLWCHAR> text(SQL_MAX_MESSAGE_LENGTH + 1);
  SQLSMALLINT got = 0;
  const SQLRETURN rc = fn(type, handle, record, wideState, native, text.data(),
                          static_cast<SQLSMALLINT>(text.size()), &got);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    if (state) copyOut(narrow(reinterpret_cast<wchar_t*>(wideState)), state, 6, nullptr);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(got), text.size() - 1);
    copyOut(narrow(std::wstring_view(reinterpret_cast<wchar_t*>(text.data()), n)), message,
            messageMax, messageLength);
  }
  return rc;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT valueMax,
                             SQLSMALLINT* valueLength) {
  static const auto fn = entry<decltype(&::SQLGetInfoW)>("SQLGetInfoW");
  if (!fn) return SQL_ERROR;
  // Text answers only (the data layer asks for names): converted to UTF-8.
  SQLWCHAR wide[512] = {0};
  SQLSMALLINT got = 0;
  const SQLRETURN rc = fn(dbc, type, wide, sizeof wide, &got);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    const std::size_t chars =
        std::min<std::size_t>(static_cast<std::size_t>(got) / sizeof(wchar_t), 511);
    copyOut(narrow(std::wstring_view(reinterpret_cast<wchar_t*>(wide), chars)),
            static_cast<SQLCHAR*>(value), valueMax, valueLength);
  }
  return rc;
}

}  // extern "C"
