#include "engine/odbc_database.h"

#include <strings.h>

#include <cstdio>
#include <utility>

#include "platform/odbc_api.h"

namespace {

constexpr std::size_t kConnectionErrorLimit = 499;
constexpr SQLULEN kLoginTimeoutSeconds = 10;

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A value of a connection string attribute, in braces when it holds a character that would end it.
std::string attributeValue(const std::string& value) {
  if (value.find_first_of(";{}= ") == std::string::npos && !value.empty()) return value;
  std::string quoted = "{";
  for (char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  return quoted + "}";
}

struct Statement {
  SQLHSTMT handle = nullptr;
  ~Statement() {
    if (handle) SQLFreeHandle(SQL_HANDLE_STMT, handle);
  }
};

// Room for the parameters' length indicators, and their integers at the width of SQL's BIGINT
// (a long is 32 bits on Windows), while a statement runs.
struct Indicators {
  std::vector<SQLLEN> values;
  std::vector<SQLBIGINT> integers;
};

bool bind(SQLHSTMT statement, const std::vector<SqlValue>& parameters, Indicators& indicators,
          std::string& error) {
  indicators.values.assign(parameters.size(), 0);
  indicators.integers.assign(parameters.size(), 0);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    SQLRETURN rc;
    const auto number = static_cast<SQLUSMALLINT>(i + 1);
    if (const auto* text = std::get_if<std::string>(&parameters[i])) {
      indicators.values[i] = static_cast<SQLLEN>(text->size());
      rc = SQLBindParameter(statement, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                            text->empty() ? 1 : text->size(), 0, const_cast<char*>(text->data()),
                            static_cast<SQLLEN>(text->size()), &indicators.values[i]);
    } else {
      indicators.integers[i] = std::get<long>(parameters[i]);
      indicators.values[i] = sizeof(SQLBIGINT);
      rc = SQLBindParameter(statement, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                            &indicators.integers[i], 0, &indicators.values[i]);
    }
    if (!succeeded(rc)) {
      error = CADODatabase::DiagnosticText(SQL_HANDLE_STMT, statement, "SQLBindParameter");
      return false;
    }
  }
  return true;
}

// A driver that cannot keep the limit still runs the statement.
void limitTime(SQLHSTMT statement, unsigned long seconds) {
  if (seconds == 0) return;
  SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
}

}  // namespace

CADODatabase::CADODatabase()
    : m_hEnv(nullptr),
      m_hDbc(nullptr),
      m_engine(SqlEngine::Other),
      m_queryTimeout(0),
      m_sLastError("Success") {}

CADODatabase::~CADODatabase() { Close(); }

std::string CADODatabase::DiagnosticText(short handleType, void* handle, const char* function) {
  SQLCHAR state[6] = "";
  SQLINTEGER native = 0;
  std::string description;
  std::string firstState;
  SQLINTEGER firstNative = 0;
  for (SQLSMALLINT record = 1; handle != nullptr && record <= 8; ++record) {
    SQLCHAR message[1024] = "";
    SQLSMALLINT length = 0;
    if (!succeeded(SQLGetDiagRec(handleType, handle, record, state, &native, message,
                                 sizeof message, &length)))
      break;
    if (record == 1) {
      firstState = reinterpret_cast<char*>(state);
      firstNative = native;
    } else {
      description += " ";
    }
    description += reinterpret_cast<char*>(message);
  }
  if (firstState.empty()) {
    firstState = "HY000";
    description = "no diagnostics";
  }
  char code[32];
  std::snprintf(code, sizeof code, "%08lx",
                static_cast<unsigned long>(static_cast<unsigned>(firstNative)));
  std::string text = "Error:\n";
  text.append("Code = ").append(code).append("\n");
  text.append("Code meaning = ").append(firstState).append("\n");
  text.append("Source = ").append(function).append("\n");
  text.append("Description = ").append(description);
  return text;
}

void CADODatabase::SetError(std::string text) {
  if (text.size() > kConnectionErrorLimit) text.resize(kConnectionErrorLimit);
  m_sLastError = std::move(text);
}

bool CADODatabase::Open(const std::string& connection, const std::string& user,
                        const std::string& password) {
  Close();
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_hEnv))) {
    m_hEnv = nullptr;
    SetError(DiagnosticText(SQL_HANDLE_ENV, nullptr, "SQLAllocHandle"));
    return false;
  }
  SQLSetEnvAttr(m_hEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC dbc = nullptr;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, m_hEnv, &dbc))) {
    SetError(DiagnosticText(SQL_HANDLE_ENV, m_hEnv, "SQLAllocHandle"));
    Close();
    return false;
  }
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds),
                    0);

  std::string text = connection;
  if (!user.empty() || !password.empty()) {
    if (!text.empty() && text.back() != ';') text += ';';
    if (!user.empty()) text += "UID=" + attributeValue(user) + ";";
    if (!password.empty()) text += "PWD=" + attributeValue(password) + ";";
  }
  SQLCHAR completed[1024];
  SQLSMALLINT completedLength = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                  static_cast<SQLSMALLINT>(text.size()), completed,
                                  sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
  if (!succeeded(rc)) {
    SetError(DiagnosticText(SQL_HANDLE_DBC, dbc, "SQLDriverConnect"));
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    Close();
    return false;
  }
  m_hDbc = dbc;
  SQLCHAR name[64] = "";
  SQLSMALLINT nameLength = 0;
  m_engine = SqlEngine::Other;
  if (succeeded(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &nameLength))) {
    if (strncasecmp(reinterpret_cast<char*>(name), "sqlite", 6) == 0) m_engine = SqlEngine::SQLite;
    if (strncasecmp(reinterpret_cast<char*>(name), "postgres", 8) == 0)
      m_engine = SqlEngine::PostgreSQL;
  }
  m_sLastError = "Success";
  return true;
}

void CADODatabase::Close() {
  if (m_hDbc) {
    SQLDisconnect(m_hDbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_hDbc);
    m_hDbc = nullptr;
  }
  if (m_hEnv) {
    SQLFreeHandle(SQL_HANDLE_ENV, m_hEnv);
    m_hEnv = nullptr;
  }
}

bool CADODatabase::Execute(const std::string& sql, const std::vector<SqlValue>& parameters,
                           long* rowsChanged) {
  if (rowsChanged) *rowsChanged = 0;
  if (!IsOpen()) {
    SetError("Invalid Connection");
    return false;
  }
  Statement statement;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, m_hDbc, &statement.handle))) {
    statement.handle = nullptr;
    SetError(DiagnosticText(SQL_HANDLE_DBC, m_hDbc, "SQLAllocHandle"));
    return false;
  }
  limitTime(statement.handle, m_queryTimeout);
  Indicators indicators;
  std::string error;
  if (!bind(statement.handle, parameters, indicators, error)) {
    SetError(error);
    return false;
  }
  SQLRETURN rc = SQLExecDirect(statement.handle,
                               reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  if (rc == SQL_NO_DATA) {
    m_sLastError = "Success";
    return true;
  }
  if (!succeeded(rc)) {
    SetError(DiagnosticText(SQL_HANDLE_STMT, statement.handle, "SQLExecDirect"));
    return false;
  }
  if (rowsChanged) {
    SQLLEN rows = 0;
    if (succeeded(SQLRowCount(statement.handle, &rows))) *rowsChanged = static_cast<long>(rows);
  }
  m_sLastError = "Success";
  return true;
}

CADORecordSet::CADORecordSet(CADODatabase* database)
    : m_pDatabase(database),
      m_hStmt(nullptr),
      m_bOpen(false),
      m_bEof(true),
      m_sLastError("Success") {}

CADORecordSet::~CADORecordSet() { Close(); }

void CADORecordSet::Close() {
  if (m_hStmt) {
    SQLFreeHandle(SQL_HANDLE_STMT, m_hStmt);
    m_hStmt = nullptr;
  }
  m_bOpen = false;
  m_bEof = true;
  m_columns.clear();
  m_row.clear();
}

bool CADORecordSet::Open(const std::string& sql, const std::vector<SqlValue>& parameters) {
  Close();
  if (m_pDatabase == nullptr || !m_pDatabase->IsOpen()) {
    m_sLastError = "Invalid Connection";
    m_pDatabase->SetError(m_sLastError);
    return false;
  }
  auto fail = [&](const char* function) {
    m_sLastError = CADODatabase::DiagnosticText(SQL_HANDLE_STMT, m_hStmt, function);
    m_pDatabase->SetError(m_sLastError);
    Close();
    return false;
  };
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, m_pDatabase->ConnectionHandle(), &m_hStmt))) {
    m_hStmt = nullptr;
    m_sLastError = CADODatabase::DiagnosticText(SQL_HANDLE_DBC, m_pDatabase->ConnectionHandle(),
                                                "SQLAllocHandle");
    m_pDatabase->SetError(m_sLastError);
    return false;
  }
  limitTime(m_hStmt, m_pDatabase->QueryTimeout());
  Indicators indicators;
  std::string error;
  if (!bind(m_hStmt, parameters, indicators, error)) {
    m_sLastError = error;
    m_pDatabase->SetError(error);
    Close();
    return false;
  }
  SQLRETURN rc =
      SQLExecDirect(m_hStmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  if (rc == SQL_NO_DATA) {
    // A statement that changed no row (an UPDATE ... RETURNING that found none) has no rows either.
    m_bOpen = true;
    m_bEof = true;
    m_sLastError = "Success";
    m_pDatabase->SetError(m_sLastError);
    return true;
  }
  if (!succeeded(rc)) return fail("SQLExecDirect");
  SQLSMALLINT count = 0;
  if (!succeeded(SQLNumResultCols(m_hStmt, &count))) return fail("SQLNumResultCols");
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    SQLCHAR name[256] = "";
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!succeeded(SQLDescribeCol(m_hStmt, static_cast<SQLUSMALLINT>(i), name, sizeof name, &length,
                                  &type, &size, &digits, &nullable)))
      return fail("SQLDescribeCol");
    m_columns.emplace_back(reinterpret_cast<char*>(name));
  }
  m_bOpen = true;
  if (count == 0) {
    m_bEof = true;
    m_sLastError = "Success";
    return true;
  }
  if (!fetch()) return false;
  m_sLastError = "Success";
  m_pDatabase->SetError(m_sLastError);
  return true;
}

bool CADORecordSet::fetch() {
  m_row.clear();
  SQLRETURN rc = SQLFetch(m_hStmt);
  if (rc == SQL_NO_DATA) {
    m_bEof = true;
    return true;
  }
  if (!succeeded(rc)) {
    m_sLastError = CADODatabase::DiagnosticText(SQL_HANDLE_STMT, m_hStmt, "SQLFetch");
    m_bEof = true;
    return false;
  }
  for (std::size_t column = 1; column <= m_columns.size(); ++column) {
    std::string value;
    bool isNull = false;
    for (;;) {
      char buffer[4096];
      SQLLEN indicator = 0;
      rc = SQLGetData(m_hStmt, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, buffer, sizeof buffer,
                      &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!succeeded(rc)) {
        m_sLastError = CADODatabase::DiagnosticText(SQL_HANDLE_STMT, m_hStmt, "SQLGetData");
        m_bEof = true;
        return false;
      }
      if (indicator == SQL_NULL_DATA) {
        isNull = true;
        break;
      }
      const bool more =
          rc == SQL_SUCCESS_WITH_INFO &&
          (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer));
      if (more) {
        value.append(buffer, sizeof buffer - 1);
      } else {
        value.append(buffer, static_cast<std::size_t>(indicator));
        break;
      }
    }
    m_row.push_back(isNull ? std::nullopt : std::optional<std::string>(std::move(value)));
  }
  m_bEof = false;
  return true;
}

bool CADORecordSet::IsEof() {
  if (!m_bOpen) {
    m_sLastError = "Invalid Record";
    return true;
  }
  return m_bEof;
}

bool CADORecordSet::MoveNext() {
  if (!m_bOpen || m_bEof) {
    m_sLastError = "Invalid Record";
    return false;
  }
  if (!fetch()) return false;
  m_sLastError = "Success";
  return true;
}

bool CADORecordSet::GetFieldValue(const char* column, std::string& value) {
  if (!m_bOpen || m_bEof) {
    m_sLastError = "Invalid Record";
    return false;
  }
  for (std::size_t i = 0; i < m_columns.size(); ++i) {
    if (strcasecmp(m_columns[i].c_str(), column) == 0) {
      value = m_row[i].value_or(std::string());
      m_sLastError = "Success";
      return true;
    }
  }
  m_sLastError =
      "Error:\nCode = 00000000\nCode meaning = 42S22\nSource = CADORecordSet\nDescription = no "
      "such column";
  m_sLastError += "\n**For Field Name:";
  m_sLastError += column;
  return false;
}

bool CADORecordSet::AddNew(const char* table) {
  if (m_pDatabase == nullptr || !m_pDatabase->IsOpen()) {
    m_sLastError = "Invalid Connection";
    return false;
  }
  m_sNewTable = table;
  m_newRow.clear();
  m_sLastError = "Success";
  return true;
}

bool CADORecordSet::SetFieldValue(const char* column, const std::string& text) {
  if (m_sNewTable.empty()) {
    m_sLastError = "Invalid Record\n**For Field Name:";
    m_sLastError += column;
    return false;
  }
  m_newRow.emplace_back(column, text);
  m_sLastError = "Success";
  return true;
}

bool CADORecordSet::SetFieldValue(const char* column, long value) {
  if (m_sNewTable.empty()) {
    m_sLastError = "Invalid Record\n**For Field Name:";
    m_sLastError += column;
    return false;
  }
  m_newRow.emplace_back(column, value);
  m_sLastError = "Success";
  return true;
}

bool CADORecordSet::Update() {
  if (m_sNewTable.empty() || m_newRow.empty()) {
    m_sLastError = "Invalid Record";
    return false;
  }
  std::string sql = "INSERT INTO " + m_sNewTable + " (";
  std::string marks;
  std::vector<SqlValue> values;
  for (const auto& [column, value] : m_newRow) {
    if (!values.empty()) {
      sql += ", ";
      marks += ", ";
    }
    sql += column;
    marks += "?";
    values.push_back(value);
  }
  sql += ") VALUES (" + marks + ")";
  const bool ok = m_pDatabase->Execute(sql, values);
  m_sLastError = m_pDatabase->GetLastErrorString();
  if (ok) {
    m_sNewTable.clear();
    m_newRow.clear();
  }
  return ok;
}
