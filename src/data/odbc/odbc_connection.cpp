#include "data/odbc/odbc_connection.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <mutex>

#include "data/database_error.h"
#include "data/odbc/driver_calls.h"
#include "data/odbc/odbc_format.h"
#include "data/odbc/odbc_handle.h"

namespace quorvane::data {

namespace odbc {

namespace {

constexpr int kMaxDiagRecords = 32;

// SQL Server's own diagnostic fields. Microsoft's drivers answer all four; FreeTDS only the
// state and the line, and under the state's name it hands out the message's class.
constexpr SQLSMALLINT kDiagSsMessageState = -1150;
constexpr SQLSMALLINT kDiagSsSeverity = -1151;
constexpr SQLSMALLINT kDiagSsProcedureName = -1153;
constexpr SQLSMALLINT kDiagSsLine = -1154;

// A driver that does not know a field, or has no value for this record, fails the call; the
// driver manager answers 0 for a connection's records it copied from the driver. Either way the
// value is absent.
std::optional<int> DiagNumber(const StatementCalls& calls, SQLSMALLINT type, SQLHANDLE handle,
                              SQLSMALLINT record, SQLSMALLINT field) {
  // Zeroed, as FreeTDS writes the line as a 16-bit value. The length is given in bytes:
  // FreeTDS refuses the negative SQL_IS_INTEGER.
  SQLINTEGER value = 0;
  if (!SQL_SUCCEEDED(calls.GetDiagFieldW(type, handle, record, field, &value,
                                         static_cast<SQLSMALLINT>(sizeof value), nullptr)) ||
      value == 0) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

std::optional<std::string> DiagText(const StatementCalls& calls, SQLSMALLINT type, SQLHANDLE handle,
                                    SQLSMALLINT record, SQLSMALLINT field) {
  std::array<SQLWCHAR, 260> text{};
  SQLSMALLINT bytes = 0;
  if (!SQL_SUCCEEDED(calls.GetDiagFieldW(type, handle, record, field, text.data(),
                                         static_cast<SQLSMALLINT>(sizeof text), &bytes))) {
    return std::nullopt;
  }
  const std::size_t units =
      std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(bytes, 0)) / sizeof(SQLWCHAR),
               text.size() - 1);
  if (units == 0) return std::nullopt;
  return WideToUtf8(text.data(), units);
}

// Whose reading of SQL Server's diagnostic fields applies.
enum class DiagFields { kStandard, kFreeTds };

bool IsFreeTds(SQLHDBC dbc) {
  std::array<SQLWCHAR, 256> name{};
  if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DRIVER_NAME, name.data(),
                                 static_cast<SQLSMALLINT>(sizeof name), nullptr))) {
    return false;
  }
  return WideToUtf8(name.data(), std::char_traits<char16_t>::length(
                                     reinterpret_cast<const char16_t*>(name.data())))
             .find("tdsodbc") != std::string::npos;
}

std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle,
                                        const StatementCalls& calls = DriverManagerCalls(),
                                        DiagFields fields = DiagFields::kStandard) {
  std::vector<DiagRecord> records;
  if (handle == SQL_NULL_HANDLE) return records;
  std::vector<SQLWCHAR> text(1024);
  for (SQLSMALLINT i = 1; i <= kMaxDiagRecords; ++i) {
    std::array<SQLWCHAR, 6> state{};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = calls.GetDiagRecW(type, handle, i, state.data(), &native, text.data(),
                                     static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= text.size()) {
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = calls.GetDiagRecW(type, handle, i, state.data(), &native, text.data(),
                             static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::size_t used =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), text.size() - 1);
    DiagRecord record{WideToUtf8(state.data(), 5), static_cast<int>(native),
                      WideToUtf8(text.data(), used)};
    // Only a server's message has them; a driver's own (native 0) would only repeat zeros.
    if (native != 0) {
      ServerMessageDetail& detail = record.detail;
      const auto messageState = DiagNumber(calls, type, handle, i, kDiagSsMessageState);
      if (fields == DiagFields::kFreeTds) {
        detail.severity = messageState;
      } else {
        detail.messageState = messageState;
        detail.severity = DiagNumber(calls, type, handle, i, kDiagSsSeverity);
        detail.procedure = DiagText(calls, type, handle, i, kDiagSsProcedureName);
      }
      detail.line = DiagNumber(calls, type, handle, i, kDiagSsLine);
    }
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

// The statement that is running, for a cancel from another thread; a statement leaves it
// before its handle is freed, so a cancel never reaches a freed handle.
struct CancelSlot {
  std::mutex mutex;
  SQLHSTMT running = SQL_NULL_HANDLE;
  bool cancelled = false;  // until the next connect: later batches fail at once
};

// The statement of one result stream. The session can take its handle away (Close, a lost
// link), after which the stream simply ends.
struct Statement {
  explicit Statement(std::shared_ptr<CancelSlot> slot) : cancel(std::move(slot)) {}
  ~Statement() { Release(); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Release() {
    const std::lock_guard lock(cancel->mutex);
    if (cancel->running == handle.Get()) cancel->running = SQL_NULL_HANDLE;
    handle.Reset();
  }

  std::shared_ptr<CancelSlot> cancel;
  StmtHandle handle;
};

// One driver connection and the statements running on it. Shared by the connection object and
// its result streams so that a stream outliving Close() never touches freed handles.
struct Session {
  EnvHandle env;
  DbcHandle dbc;
  bool connected = false;
  DiagFields diagFields = DiagFields::kStandard;
  std::vector<std::weak_ptr<Statement>> statements;

  // The driver's own entry points, looked for once, when a batch first needs them.
  std::shared_ptr<const DriverEntryPoints> Driver() {
    if (!driverLooked) driver = DriverEntryPoints::For(dbc.Get());
    driverLooked = true;
    return driver;
  }
  std::shared_ptr<const DriverEntryPoints> driver;
  bool driverLooked = false;

  ~Session() { Disconnect(); }

  void ReleaseStatements() {
    for (const auto& weak : statements) {
      if (auto statement = weak.lock()) statement->Release();
    }
    statements.clear();
  }

  void Disconnect() {
    ReleaseStatements();
    if (connected) SQLDisconnect(dbc.Get());
    connected = false;
  }

  // FreeTDS answers this from its own state, without a round trip.
  bool LinkDead() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc =
        SQLGetConnectAttrW(dbc.Get(), SQL_ATTR_CONNECTION_DEAD, &dead, sizeof dead, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
  }

  // The error for a failed statement call. A lost link also ends the session, so that nobody
  // keeps talking to a socket that is gone.
  DatabaseError Failure(const std::vector<DiagRecord>& records, std::string_view fallback,
                        int timeoutSeconds) {
    bool lost = LinkDead();
    for (const DiagRecord& r : records) lost = lost || IsConnectionLost(r.state);
    DatabaseError error =
        ErrorFromDiagnostics(records, fallback, ErrorContext{false, timeoutSeconds, lost});
    if (lost) Disconnect();
    return error;
  }
};

namespace {

// What a result stream and the row sets it hands out share: the statement and the calls that
// reach it, which result the statement is on, and the buffers values are read through.
class StatementReader {
 public:
  struct Column {
    SQLUSMALLINT number;
    ValueReader reader;
  };

  StatementReader(std::shared_ptr<Session> session, std::shared_ptr<Statement> statement,
                  int timeoutSeconds, std::shared_ptr<const DriverEntryPoints> driver,
                  SQLHSTMT active)
      : session_(std::move(session)),
        statement_(std::move(statement)),
        driver_(std::move(driver)),
        calls_(driver_ ? &driver_->Calls() : &DriverManagerCalls()),
        active_(active),
        timeoutSeconds_(timeoutSeconds) {}

  const StatementCalls& Calls() const { return *calls_; }
  SQLHSTMT Stmt() const { return active_; }
  Session& OwnSession() { return *session_; }
  // False once the session took the statement away (Close, a lost link) or the batch ended.
  bool Open() const { return static_cast<bool>(statement_->handle); }
  void Release() { statement_->Release(); }

  // Counts the results the statement moved to; a row set reads rows only while it is current.
  std::uint64_t result = 0;
  // Whether the current row set still has rows the driver has not handed out.
  bool rowsPending = false;

  // FreeTDS reports a link that died in mid-response as a warning (01000 "Unexpected EOF") on
  // an otherwise successful call, and then offers an empty result; that is a failure.
  bool Succeeded(SQLRETURN rc) const {
    return rc == SQL_SUCCESS || (rc == SQL_SUCCESS_WITH_INFO && !session_->LinkDead());
  }

  // Whether the driver manager refused the last call as out of sequence (HY010): one that does
  // not pass SQLMoreResults on after a failed first statement says so.
  bool RefusedOutOfSequence() const {
    const auto records = ReadDiagnostics(SQL_HANDLE_STMT, Stmt(), *calls_, session_->diagFields);
    return !records.empty() && records.front().state == "HY010";
  }

  [[noreturn]] void Fail(std::string_view fallback) {
    throw session_->Failure(ReadDiagnostics(SQL_HANDLE_STMT, Stmt(), *calls_, session_->diagFields),
                            fallback, timeoutSeconds_);
  }

  // Moves to the next row and reads it into `row`; false when the row set has no more.
  bool FetchRow(const std::vector<Column>& columns, std::vector<Value>& row) {
    if (!FetchNext()) return false;
    for (std::size_t i = 0; i < columns.size(); ++i) ReadValue(columns[i], row[i]);
    return true;
  }

  // Reads past the rows nobody wanted. The driver must see the end of a row set before it
  // moves to the next result: otherwise it hands out the row set's own count as a result.
  void SkipRows() {
    while (rowsPending) FetchNext();
  }

 private:
  bool FetchNext() {
    const SQLRETURN rc = calls_->Fetch(Stmt());
    if (rc == SQL_NO_DATA) {
      rowsPending = false;
      return false;
    }
    if (!Succeeded(rc)) {
      rowsPending = false;
      Fail("Could not read a row");
    }
    return true;
  }

  static void SetNull(Value& value) {
    value.isNull = true;
    value.text.clear();
    value.native = std::monostate{};
  }

  static void SetInteger(Value& value, std::int64_t number) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    value.isNull = false;
    value.text.assign(digits, end);
    value.native = number;
  }

  static void SetText(Value& value, std::string_view text) {
    value.isNull = false;
    value.text.assign(text);
    value.native = std::monostate{};
  }

  template <typename T>
  bool ReadFixed(SQLUSMALLINT column, SQLSMALLINT cType, T& out) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = calls_->GetData(Stmt(), column, cType, &out, sizeof out, &indicator);
    if (!SQL_SUCCEEDED(rc)) Fail("Could not read a value");
    return indicator != SQL_NULL_DATA;
  }

  // Reads a value of any length in as many calls as it takes. `buffer` only grows, so a long
  // run of short values costs no allocation. Returns the number of units read, or nothing for
  // NULL.
  template <typename Unit>
  std::optional<std::size_t> ReadChunks(SQLUSMALLINT column, SQLSMALLINT cType,
                                        std::vector<Unit>& buffer, std::size_t terminator) {
    if (buffer.size() < 2048) buffer.resize(2048);
    std::size_t filled = 0;
    for (;;) {
      const std::size_t room = buffer.size() - filled;
      SQLLEN indicator = 0;
      const SQLRETURN rc = calls_->GetData(Stmt(), column, cType, buffer.data() + filled,
                                           static_cast<SQLLEN>(room * sizeof(Unit)), &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) Fail("Could not read a value");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      const std::size_t capacity = room - terminator;
      if (indicator != SQL_NO_TOTAL &&
          static_cast<std::size_t>(indicator) <= capacity * sizeof(Unit)) {
        filled += static_cast<std::size_t>(indicator) / sizeof(Unit);
        break;
      }
      // Truncated: this call delivered `capacity` units; the indicator, when known, was the
      // length still to come before it.
      filled += capacity;
      std::size_t rest = buffer.size();
      if (indicator != SQL_NO_TOTAL) {
        rest = static_cast<std::size_t>(indicator) / sizeof(Unit) - capacity;
      }
      buffer.resize(filled + rest + terminator + 1);
    }
    return filled;
  }

  std::optional<std::string_view> ReadNarrow(SQLUSMALLINT column) {
    const auto length = ReadChunks(column, SQL_C_CHAR, narrow_, 1);
    if (!length) return std::nullopt;
    return std::string_view(narrow_.data(), *length);
  }

  // Overwrites `value`, reusing its text's storage.
  void ReadValue(const Column& column, Value& value) {
    const SQLUSMALLINT n = column.number;
    switch (column.reader) {
      case ValueReader::kInteger: {
        SQLBIGINT v = 0;
        return ReadFixed(n, SQL_C_SBIGINT, v) ? SetInteger(value, v) : SetNull(value);
      }
      case ValueReader::kBit: {
        unsigned char v = 0;
        return ReadFixed(n, SQL_C_BIT, v) ? SetInteger(value, v != 0 ? 1 : 0) : SetNull(value);
      }
      case ValueReader::kReal: {
        SQLREAL v = 0;
        if (!ReadFixed(n, SQL_C_FLOAT, v)) return SetNull(value);
        value = Value{false, FormatReal(v), static_cast<double>(v)};
        return;
      }
      case ValueReader::kDouble: {
        SQLDOUBLE v = 0;
        if (!ReadFixed(n, SQL_C_DOUBLE, v)) return SetNull(value);
        value = Value{false, FormatDouble(v), v};
        return;
      }
      case ValueReader::kTimestamp: {
        SQL_TIMESTAMP_STRUCT v{};
        if (!ReadFixed(n, SQL_C_TYPE_TIMESTAMP, v)) return SetNull(value);
        value = Value::Date(ToDateTime(v));
        return;
      }
      case ValueReader::kGuid: {
        SQLGUID v{};
        return ReadFixed(n, SQL_C_GUID, v) ? SetText(value, FormatGuid(v)) : SetNull(value);
      }
      case ValueReader::kExactText: {
        const auto text = ReadNarrow(n);
        return text ? SetText(value, *text) : SetNull(value);
      }
      case ValueReader::kTimeText: {
        const auto text = ReadNarrow(n);
        if (!text) return SetNull(value);
        value = TimeOfDayValue(*text);
        return;
      }
      case ValueReader::kOffsetText: {
        const auto text = ReadNarrow(n);
        if (!text) return SetNull(value);
        value = OffsetDateTimeValue(*text);
        return;
      }
      case ValueReader::kBinary: {
        const auto length = ReadChunks(n, SQL_C_BINARY, bytes_, 0);
        if (!length) return SetNull(value);
        return SetText(value, FormatBinary(std::span(bytes_.data(), *length)));
      }
      case ValueReader::kWideText: {
        const auto length = ReadChunks(n, SQL_C_WCHAR, wide_, 1);
        if (!length) return SetNull(value);
        value.isNull = false;
        AssignWideAsUtf8(value.text, wide_.data(), *length);
        value.native = std::monostate{};
        return;
      }
    }
    SetNull(value);
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<Statement> statement_;
  std::shared_ptr<const DriverEntryPoints> driver_;  // while the driver is called directly
  const StatementCalls* calls_;
  SQLHSTMT active_;  // the handle the calls take
  int timeoutSeconds_;
  std::vector<SQLWCHAR> wide_;
  std::vector<char> narrow_;
  std::vector<unsigned char> bytes_;
};

// The rows of one result, fetched as the row set's position moves. A row set the stream has
// moved past (or whose statement is gone) simply has no more rows.
class FetchedRows : public RowSource {
 public:
  FetchedRows(std::shared_ptr<StatementReader> reader, std::vector<StatementReader::Column> columns)
      : reader_(std::move(reader)), result_(reader_->result), columns_(std::move(columns)) {}

  bool Fetch(std::vector<Value>& row) override {
    if (done_ || !reader_->Open() || reader_->result != result_) return false;
    done_ = !reader_->FetchRow(columns_, row);
    return !done_;
  }

 private:
  std::shared_ptr<StatementReader> reader_;
  std::uint64_t result_;
  std::vector<StatementReader::Column> columns_;
  bool done_ = false;
};

// Reads the results of one executed batch on demand; the rows of a row set are fetched while
// the reader goes through them.
class ResultStreamImpl : public ResultStream {
 public:
  ResultStreamImpl(std::shared_ptr<Session> session, std::shared_ptr<Statement> statement,
                   int timeoutSeconds, bool hasResult)
      : pending_(hasResult), done_(!hasResult) {
    const SQLHSTMT handle = statement->handle.Get();
    reader_ = std::make_shared<StatementReader>(std::move(session), std::move(statement),
                                                timeoutSeconds, nullptr, handle);
    if (done_) Finish();
  }

  // A batch whose first statement failed with `error`: the first Next throws it, later ones go
  // on with what followed, read straight from the driver's statement `driverStatement`.
  ResultStreamImpl(std::shared_ptr<Session> session, std::shared_ptr<Statement> statement,
                   int timeoutSeconds, DatabaseError error,
                   std::shared_ptr<const DriverEntryPoints> driver, SQLHSTMT driverStatement)
      : reader_(std::make_shared<StatementReader>(std::move(session), std::move(statement),
                                                  timeoutSeconds, std::move(driver),
                                                  driverStatement)),
        pending_(StandsOnResult()),
        done_(false),
        afterFailedFirst_(true),
        firstError_(std::move(error)) {}

  ~ResultStreamImpl() override { Finish(); }

  std::optional<Result> Next() override {
    if (done_) return std::nullopt;
    if (!reader_->Open()) {  // the connection was closed under us
      done_ = true;
      return std::nullopt;
    }
    if (firstError_) {
      DatabaseError error = std::move(*firstError_);
      firstError_.reset();
      throw error;
    }
    // Whatever rows of the previous row set were not read are left behind from here on.
    ++reader_->result;
    try {
      reader_->SkipRows();
    } catch (const DatabaseError&) {
      EndAfterLostLink();
      throw;
    }
    if (!pending_) {
      const SQLRETURN rc = reader_->Calls().MoreResults(reader_->Stmt());
      if (rc == SQL_NO_DATA) {
        Finish();
        return std::nullopt;
      }
      if (!reader_->Succeeded(rc)) {
        if (afterFailedFirst_ && reader_->RefusedOutOfSequence()) {
          Finish();
          return std::nullopt;
        }
        // Nothing is pending, so the next call moves on past the failed statement (here the
        // driver has not moved on to the next result: its columns are still the previous
        // result's).
        Fail("The server reported an error without a message");
      }
    }
    pending_ = false;

    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(reader_->Calls().NumResultCols(reader_->Stmt(), &columns))) {
      Fail("Could not read the result's columns");
    }
    if (columns == 0) {
      SQLLEN count = -1;  // -1: the driver does not know
      reader_->Calls().RowCount(reader_->Stmt(), &count);
      return Result{RowCount{static_cast<std::int64_t>(count)}};
    }
    try {
      reader_->rowsPending = true;
      return Result{StartRowSet(columns)};
    } catch (const DatabaseError&) {
      EndAfterLostLink();
      throw;
    }
  }

 private:
  // Whether the driver already stands on a row set that nobody has read: FreeTDS moves to the
  // result after a failed statement when that result came in the same reply (a per-database
  // walk whose first database cannot be opened), and another SQLMoreResults would skip it.
  bool StandsOnResult() const {
    SQLSMALLINT columns = 0;
    return SQL_SUCCEEDED(reader_->Calls().NumResultCols(reader_->Stmt(), &columns)) && columns > 0;
  }

  // Frees the statement as soon as the batch is exhausted, so that the connection is free.
  void Finish() {
    done_ = true;
    reader_->Release();
  }

  // After a lost link nothing more can come; ending here keeps callers that loop on Next from
  // spinning.
  void EndAfterLostLink() {
    if (!reader_->OwnSession().connected) done_ = true;
  }

  [[noreturn]] void Fail(std::string_view fallback) {
    try {
      reader_->Fail(fallback);
    } catch (const DatabaseError&) {
      EndAfterLostLink();
      throw;
    }
  }

  // Describes the columns and fetches the first row; the rest come as the row set is read.
  RowSetPtr StartRowSet(SQLSMALLINT columnCount) {
    std::vector<Field> fields;
    std::vector<StatementReader::Column> columns;
    fields.reserve(static_cast<std::size_t>(columnCount));
    columns.reserve(static_cast<std::size_t>(columnCount));
    std::vector<SQLWCHAR> name(130);
    const StatementCalls& calls = reader_->Calls();
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columnCount); ++i) {
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT sqlType = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      SQLRETURN rc =
          calls.DescribeColW(reader_->Stmt(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                             &nameLength, &sqlType, &size, &digits, &nullable);
      if (SQL_SUCCEEDED(rc) && static_cast<std::size_t>(nameLength) >= name.size()) {
        name.resize(static_cast<std::size_t>(nameLength) + 1);
        rc = calls.DescribeColW(reader_->Stmt(), i, name.data(),
                                static_cast<SQLSMALLINT>(name.size()), &nameLength, &sqlType, &size,
                                &digits, &nullable);
      }
      if (!SQL_SUCCEEDED(rc)) reader_->Fail("Could not describe a result column");
      const auto shape = ShapeForSqlType(sqlType, size);
      if (!shape) continue;
      const std::size_t used =
          std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)), name.size() - 1);
      fields.push_back(
          Field{WideToUtf8(name.data(), used), shape->kind, SqlTypeName(sqlType, size, digits)});
      columns.push_back(StatementReader::Column{i, shape->reader});
    }
    return std::make_shared<RowSet>(std::move(fields),
                                    std::make_shared<FetchedRows>(reader_, std::move(columns)));
  }

  std::shared_ptr<StatementReader> reader_;
  bool pending_;
  bool done_;
  bool afterFailedFirst_ = false;
  std::optional<DatabaseError> firstError_;
};

}  // namespace

}  // namespace odbc

using odbc::DiagFields;
using odbc::DriverManagerCalls;
using odbc::ErrorContext;
using odbc::ErrorFromDiagnostics;
using odbc::IsFreeTds;
using odbc::ReadDiagnostics;

OdbcConnection::OdbcConnection() : cancel_(std::make_shared<odbc::CancelSlot>()) {}

OdbcConnection::~OdbcConnection() {
  Close();
}

bool OdbcConnection::Connected() const {
  return session_ && session_->connected && !session_->LinkDead();
}

void OdbcConnection::Close() {
  if (session_) {
    session_->Disconnect();
    session_.reset();
  }
}

void OdbcConnection::Cancel() {
  const std::lock_guard lock(cancel_->mutex);
  cancel_->cancelled = true;
  if (cancel_->running != SQL_NULL_HANDLE) SQLCancel(cancel_->running);
}

void OdbcConnection::Connect() {
  Close();
  {
    const std::lock_guard lock(cancel_->mutex);
    cancel_->cancelled = false;
  }
  auto session = std::make_shared<odbc::Session>();
  if (!SQL_SUCCEEDED(session->env.Allocate(SQL_NULL_HANDLE))) {
    throw DatabaseError("The ODBC driver manager could not be initialised");
  }
  SQLSetEnvAttr(session->env.Get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
  if (!SQL_SUCCEEDED(session->dbc.Allocate(session->env.Get()))) {
    throw ErrorFromDiagnostics(ReadDiagnostics(SQL_HANDLE_ENV, session->env.Get()),
                               "The ODBC driver manager could not allocate a connection");
  }
  const SQLHDBC dbc = session->dbc.Get();
  // Set even when 0, which means waiting as long as the login takes (a driver's own default
  // might be a limit).
  SQLSetConnectAttrW(
      dbc, SQL_ATTR_LOGIN_TIMEOUT,
      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(ConnectionTimeout(), 0))),
      SQL_IS_UINTEGER);
  std::vector<SQLWCHAR> text = odbc::Utf8ToWide(ConnectionString());
  std::array<SQLWCHAR, 1024> completed{};
  SQLSMALLINT completedLength = 0;
  const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, text.data(), SQL_NTS, completed.data(),
                                         static_cast<SQLSMALLINT>(completed.size()),
                                         &completedLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    throw ErrorFromDiagnostics(ReadDiagnostics(SQL_HANDLE_DBC, dbc),
                               "Could not connect to the server",
                               ErrorContext{true, ConnectionTimeout()});
  }
  session->connected = true;
  session->diagFields = IsFreeTds(dbc) ? DiagFields::kFreeTds : DiagFields::kStandard;
  session_ = std::move(session);
}

std::unique_ptr<ResultStream> OdbcConnection::Execute(const std::string& batch,
                                                      int timeoutSeconds) {
  if (!Connected()) {
    Close();
    throw DatabaseError("Not connected to the server", 0, "08003");
  }
  // Without MARS the server serves one request at a time: an earlier stream's pending results
  // would make this batch fail with "connection busy".
  session_->ReleaseStatements();

  auto statement = std::make_shared<odbc::Statement>(cancel_);
  const SQLHDBC dbc = session_->dbc.Get();
  if (!SQL_SUCCEEDED(statement->handle.Allocate(dbc))) {
    throw ErrorFromDiagnostics(ReadDiagnostics(SQL_HANDLE_DBC, dbc),
                               "Could not allocate a statement");
  }
  session_->statements.push_back(statement);
  const SQLHSTMT stmt = statement->handle.Get();
  if (timeoutSeconds > 0) {
    SQLSetStmtAttrW(stmt, SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)),
                    SQL_IS_UINTEGER);
  }

  {
    const std::lock_guard lock(cancel_->mutex);
    if (cancel_->cancelled) throw DatabaseError(kCancelledMessage, 0, "HY008");
    cancel_->running = stmt;
  }
  std::vector<SQLWCHAR> text = odbc::Utf8ToWide(batch);
  const SQLRETURN rc = SQLExecDirectW(stmt, text.data(), static_cast<SQLINTEGER>(text.size() - 1));
  if (rc == SQL_NO_DATA) {
    return std::make_unique<odbc::ResultStreamImpl>(session_, std::move(statement), timeoutSeconds,
                                                    false);
  }
  if (!SQL_SUCCEEDED(rc) || (rc == SQL_SUCCESS_WITH_INFO && session_->LinkDead())) {
    const auto records =
        ReadDiagnostics(SQL_HANDLE_STMT, stmt, DriverManagerCalls(), session_->diagFields);
    DatabaseError error =
        session_->Failure(records, "The batch failed without a message", timeoutSeconds);
    // The first statement failed; the driver still holds what the rest of the batch returned.
    // It is read past unixODBC where the driver can be reached; otherwise through the driver
    // manager, which on Windows passes SQLMoreResults on (unixODBC ends the batch there).
    if (rc == SQL_ERROR && session_->connected && statement->handle) {
      auto driver = session_->Driver();
      const SQLHSTMT own =
          driver ? odbc::DriverEntryPoints::DriverStatement(dbc, stmt) : SQL_NULL_HSTMT;
      if (own == SQL_NULL_HSTMT) driver.reset();
      return std::make_unique<odbc::ResultStreamImpl>(session_, std::move(statement),
                                                      timeoutSeconds, std::move(error),
                                                      std::move(driver), own ? own : stmt);
    }
    statement->Release();
    throw error;
  }
  return std::make_unique<odbc::ResultStreamImpl>(session_, std::move(statement), timeoutSeconds,
                                                  true);
}

std::vector<std::string> InstalledOdbcDrivers() {
  std::vector<std::string> drivers;
  odbc::EnvHandle env;
  if (!SQL_SUCCEEDED(env.Allocate(SQL_NULL_HANDLE))) return drivers;
  SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
  std::array<SQLWCHAR, 1024> name{};
  std::array<SQLWCHAR, 4096> attributes{};
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    const SQLRETURN rc = SQLDriversW(
        env.Get(), direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
        attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributesLength);
    if (!SQL_SUCCEEDED(rc)) break;
    const std::size_t used =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)), name.size() - 1);
    drivers.push_back(odbc::WideToUtf8(name.data(), used));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

}  // namespace quorvane::data
