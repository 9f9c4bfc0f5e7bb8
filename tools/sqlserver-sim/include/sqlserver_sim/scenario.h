#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sqlserver_sim/tokens.h"
#include "sqlserver_sim/types.h"

// The scenario document (see tools/sqlserver-sim/README.md): who may log in, and how each
// batch is answered.
namespace sqlsim {

struct RowSet {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

// Rows made one at a time as they are sent, so that a row set of any size costs no memory.
// Shared by every connection: Row() must depend on nothing but its arguments.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<Column>& Columns() const = 0;
  virtual std::uint64_t Size() const = 0;
  // `out` keeps the previous row's values, so their buffers are reused.
  virtual void Row(std::uint64_t index, std::vector<Value>& out) const = 0;
};

struct ResultItem;

// A long list of results made in groups as they are sent (one group per database of a walk).
class ResultSource {
 public:
  virtual ~ResultSource() = default;
  virtual std::uint64_t Groups() const = 0;
  virtual void Group(std::uint64_t index, std::vector<ResultItem>& out) const = 0;
};

struct ResultItem {
  enum class Kind { Rows, Count, Info, Error, Delay, Drop };
  Kind kind = Kind::Count;
  std::shared_ptr<const RowSet> rows;       // Rows, unless `source` is set
  std::shared_ptr<const RowSource> source;  // Rows made on the fly
  std::uint64_t count = 0;                  // Count
  ServerMessage message;                    // Info, Error
  int delayMs = 0;                          // Delay
  // Error: a count on the DONE after it (DONE_ERROR with DONE_COUNT), as a statement that
  // failed after it had counted rows reports.
  std::optional<std::uint64_t> errorCount;
};

struct BatchRule {
  std::string sql;  // exact text after NormalizeBatch; empty for a pattern rule
  std::string patternText;
  std::optional<std::regex> pattern;
  std::vector<ResultItem> results;
  // When set, answers instead of `results` (no "top" cut applies to it).
  std::shared_ptr<const ResultSource> generated;
  // Answer as a procedure (DONEINPROC ... RETURNSTATUS DONEPROC) rather than as plain
  // statements. Unset: decided from the text (EXEC ..., sp_..., xp_...).
  std::optional<bool> procedure;
  std::int32_t returnStatus = 0;
  // "top": "last": the last row set is cut to the n of the batch's last TOP n.
  bool topLast = false;
  std::string where;  // "batches[3]", for messages
};

// How a batch no rule matches is answered.
enum class UnknownMode {
  Auto,       // 2812 for EXEC and bare procedure names, 208 when the text names a table
  Procedure,  // always 2812 "Could not find stored procedure"
  Object,     // always 208 "Invalid object name"
  Results,    // the scenario's own results
};

struct Login {
  std::string name;
  std::string password;
};

// How the answer to a "malformedMetadataAtBatch" batch is corrupted.
enum class MalformedMetadata {
  None,
  Abort,  // a column of an integer type with an impossible width
  Stall,  // the token ends after the first of the columns it announces, then silence
};

// The server's certificate: with one, PRELOGIN offers TLS (SQL Server with a certificate);
// `required` answers every client that it must encrypt (SQL Server's Force Encryption).
struct EncryptionSetting {
  std::string certificate;  // PEM file: the server's certificate, then any intermediates
  std::string key;          // PEM file: its private key
  bool required = false;
};

struct Scenario {
  std::string serverName = "SQLSIM";
  std::string version = "15.0.2000.5";
  std::array<std::uint8_t, 4> versionBytes = {15, 0, 0x07, 0xD0};  // major, minor, build BE
  std::uint16_t revision = 5;
  std::string productName = "Microsoft SQL Server";
  std::string database = "master";  // when the login names none
  std::string language = "us_english";
  // Names of system objects and columns are case-sensitive (a _CS_ or _BIN server collation).
  bool caseSensitive = false;
  std::string domain = "QUORVANE";           // announced in the NTLM challenge
  std::optional<std::vector<Login>> logins;  // absent: every login is accepted
  bool refuseLogins = false;
  int dropAtBatch = 0;  // counted per connection
  // Counted over every connection of the server, so each fires once in the server's life.
  int dropOnceAtBatch = 0;
  int malformedMetadataAtBatch = 0;
  MalformedMetadata malformedMetadata = MalformedMetadata::None;
  // Logins fail once a fault (or a "drop" item) has dropped a connection.
  bool refuseLoginsAfterDrop = false;
  std::optional<EncryptionSetting> encryption;  // absent: ENCRYPT_NOT_SUP, no TLS
  std::vector<BatchRule> batches;
  UnknownMode unknown = UnknownMode::Auto;
  std::vector<ResultItem> unknownResults;

  // Exact-text rules by normalised text (first one wins), then pattern rules in order.
  const BatchRule* Find(std::string_view batch) const;
  bool AcceptsLogin(std::string_view user, std::string_view password) const;
  // The login named `name` (case-insensitive), e.g. "DOMAIN\user" for a Windows login.
  const Login* FindLogin(std::string_view name) const;

  std::unordered_map<std::string, std::size_t> exact;
  std::vector<std::size_t> patterns;
};

// Throws std::runtime_error with a message naming the offending place, e.g.
// "scenario: batches[2].results[0].rows.data[1][3]: 'abc' is not an integer (int)".
Scenario ParseScenario(std::string_view json);

// `scenarioJson` with its "encryption" field replaced by `setting`.
std::string WithEncryption(std::string_view scenarioJson, const EncryptionSetting& setting);

// CR LF -> LF and no trailing whitespace: how batches are compared with the scenario.
std::string NormalizeBatch(std::string_view batch);

// True when SQL Server would run the batch as a procedure call.
bool LooksLikeProcedureCall(std::string_view batch);

// The error SQL Server raises for a batch that refers to something that does not exist.
ServerMessage UnknownBatchError(UnknownMode mode, std::string_view batch);
// The procedure an EXEC names (or the first word), brackets removed: "master..xp_msver".
std::string ProcedureNameOf(std::string_view batch);
// The first table after FROM/JOIN/INTO/UPDATE, or empty.
std::string ObjectNameOf(std::string_view batch);

}  // namespace sqlsim
