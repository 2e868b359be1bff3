#pragma once
// A thin ODBC layer for the database queue: a connection and a record set opened by an SQL text
// with bound parameters. Each failure leaves its text in the object's last-error text, built from
// the ODBC diagnostics; each success sets it to "Success". Neither class is thread-safe.

#include <optional>
#include <string>
#include <variant>
#include <vector>

// A bound parameter: text or a 32-bit integer.
using SqlValue = std::variant<std::string, long>;

enum class SqlEngine { Other, SQLite, PostgreSQL };

class CADODatabase {
 public:
  CADODatabase();
  ~CADODatabase();
  CADODatabase(const CADODatabase&) = delete;
  CADODatabase& operator=(const CADODatabase&) = delete;

  // Connects with the ODBC connection string; a non-empty user and password are added to it.
  bool Open(const std::string& connection, const std::string& user, const std::string& password);
  bool IsOpen() const { return m_hDbc != nullptr; }
  void Close();
  // Runs one statement; rowsChanged gets the count of rows it inserted, changed or deleted.
  bool Execute(const std::string& sql, const std::vector<SqlValue>& parameters = {},
               long* rowsChanged = nullptr);
  const std::string& GetLastErrorString() const { return m_sLastError; }
  SqlEngine Engine() const { return m_engine; }
  // The time limit of each statement run from now on, in seconds; 0 for none. How a driver keeps
  // it is its own: PostgreSQL cancels the statement on the server (statement_timeout); the SQLite
  // driver ignores it and waits for a lock as long as its connection's Timeout= says.
  void SetQueryTimeout(unsigned long seconds) { m_queryTimeout = seconds; }
  unsigned long QueryTimeout() const { return m_queryTimeout; }

  void* ConnectionHandle() const { return m_hDbc; }
  // Sets the last-error text (at most 499 bytes).
  void SetError(std::string text);
  // Text of the diagnostics of an ODBC handle after a failed call of function.
  static std::string DiagnosticText(short handleType, void* handle, const char* function);

 private:
  void* m_hEnv;
  void* m_hDbc;
  SqlEngine m_engine;
  unsigned long m_queryTimeout;
  std::string m_sLastError;
};

class CADORecordSet {
 public:
  explicit CADORecordSet(CADODatabase* database);
  ~CADORecordSet();
  CADORecordSet(const CADORecordSet&) = delete;
  CADORecordSet& operator=(const CADORecordSet&) = delete;

  // Runs the query and moves to its first row. Fails with "Invalid Connection" without a
  // connection.
  bool Open(const std::string& sql, const std::vector<SqlValue>& parameters = {});
  // True when there is no current row: also when the set is not open ("Invalid Record") and after
  // a failure.
  bool IsEof();
  bool MoveNext();
  // The current row's value of the column (names compared without regard to case); a NULL is empty.
  bool GetFieldValue(const char* column, std::string& value);
  void Close();

  // A new row of the table, filled by SetFieldValue and written by Update.
  bool AddNew(const char* table);
  bool SetFieldValue(const char* column, const std::string& text);
  bool SetFieldValue(const char* column, long value);
  bool Update();

  const std::string& GetLastErrorString() const { return m_sLastError; }

 private:
  bool fetch();

  CADODatabase* m_pDatabase;
  void* m_hStmt;
  bool m_bOpen;
  bool m_bEof;
  std::vector<std::string> m_columns;
  std::vector<std::optional<std::string>> m_row;
  std::string m_sNewTable;
  std::vector<std::pair<std::string, SqlValue>> m_newRow;
  std::string m_sLastError;
};
