#include "sections/statistics.h"

#include <charconv>
#include <string>

#include "data/database_error.h"

namespace quorvane::sections {

namespace {

std::optional<std::int64_t> Statistic(report::QueryRunner& q, const char* statement) {
  q.RunQuery(statement);
  if (q.ADOQuery1.FieldCount() == 0) return std::nullopt;
  const std::string text = q.ADOQuery1.AtEnd() ? std::string() : q.ADOQuery1.DisplayText(0);
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    // A counter that is not a number is reported like a failed statement, not made up.
    q.HandleADOQueryError(data::DatabaseError("'" + text + "' is not a valid integer value"));
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::int64_t> GetCONNECTIONS(report::QueryRunner& q) {
  return Statistic(q, "select @@CONNECTIONS");
}
std::optional<std::int64_t> GetCPU_BUSY(report::QueryRunner& q) {
  return Statistic(q,
                   "select convert(bigint, ((@@CPU_BUSY * convert(bigint, @@TIMETICKS / 1000.0)) "
                   "/1000))");
}
std::optional<std::int64_t> GetIDLE(report::QueryRunner& q) {
  return Statistic(
      q, "select convert(bigint, ((@@IDLE * convert(bigint, @@TIMETICKS / 1000.0)) /1000))");
}
std::optional<std::int64_t> GetIO_BUSY(report::QueryRunner& q) {
  return Statistic(
      q, "select convert(bigint, ((@@IO_BUSY * convert(bigint, @@TIMETICKS / 1000.0)) /1000))");
}
std::optional<std::int64_t> GetTOTAL_READ(report::QueryRunner& q) {
  return Statistic(q, "select @@TOTAL_READ");
}
std::optional<std::int64_t> GetTOTAL_WRITE(report::QueryRunner& q) {
  return Statistic(q, "select @@TOTAL_WRITE");
}
std::optional<std::int64_t> GetTOTAL_ERRORS(report::QueryRunner& q) {
  return Statistic(q, "select @@TOTAL_ERRORS");
}
std::optional<std::int64_t> GetPACK_RECEIVED(report::QueryRunner& q) {
  return Statistic(q, "select @@PACK_RECEIVED");
}
std::optional<std::int64_t> GetPACK_SENT(report::QueryRunner& q) {
  return Statistic(q, "select @@PACK_SENT");
}
std::optional<std::int64_t> GetPACKET_ERRORS(report::QueryRunner& q) {
  return Statistic(q, "select @@PACKET_ERRORS");
}

}  // namespace quorvane::sections
