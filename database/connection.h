// The database connection: a small ADO-like layer over the platform's data
// access (platform/datasources.h).
//
// Every stage that needs the product database makes its own Connection, sets
// ConnectionString to "DSN=Dorvane;password=kelpfern;", opens it, executes its
// statements and closes it again. Statements are the installer's Access SQL; the
// layer carries the few differences over to the driver ("Delete * from" becomes
// "DELETE FROM") and nothing else.
//
// Failures raise pm::Error: the data access's own (the driver manager's or
// driver's message, see platform/datasources.h), or ADO's for a connection used
// in the wrong state.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/datasources.h"
#include "platform/result.h"

namespace pm::ado {

// The rows of one statement, read forward once into memory (the statements of
// the installer return a handful of rows at most).
class Recordset {
 public:
  // True when there is no current row: past the last row, or no rows at all.
  bool isEOF() const;
  // True when there is no current row before the first one (and with no rows).
  bool isBOF() const;
  // Makes the first row current; raises pm::Error when there are no rows.
  void MoveFirst();
  void MoveNext();
  // Fields.Item(name).Value of the current row: nullopt for NULL. Raises
  // pm::Error for an unknown field or when there is no current row.
  std::optional<std::string> field(const std::string& name) const;

  // Filled by Connection::Execute.
  std::vector<std::string> columns;
  std::vector<std::vector<std::optional<std::string>>> rows_;

 private:
  std::size_t current_ = 0;
};

class Connection {
 public:
  // `dataSources` is prepared before the connection opens.
  explicit Connection(DataSources& dataSources);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::string ConnectionString;

  // Opens with ConnectionString. Raises pm::Error.
  void Open();
  bool isOpen() const;
  // Executes a statement; for statements that return no rows the record set is
  // empty (EOF and BOF true). `parameters` bind to the "?" markers in order,
  // as text. Raises pm::Error.
  std::unique_ptr<Recordset> Execute(const std::string& statement,
                                     const std::vector<std::string>& parameters = {});
  // Transactions (autocommit is on outside of them). Raise pm::Error.
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  // Closes the connection (nothing when it is not open).
  void Close();

  // The statement as the driver receives it.
  static std::string toDriverDialect(const std::string& accessSql);

 private:
  struct Handles;
  DataSources& dataSources_;
  std::unique_ptr<Handles> handles_;
};

// The installer's connection string.
inline constexpr const char* kConnectionString = "DSN=Dorvane;password=kelpfern;";

}  // namespace pm::ado
