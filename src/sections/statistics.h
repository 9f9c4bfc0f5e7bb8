#pragma once

#include <cstdint>
#include <optional>

#include "report/query_runner.h"

// The counters the server keeps since its start. Each returns nothing when its statement failed
// or did not give a whole number; the error block is then already in the report.
namespace quorvane::sections {

std::optional<std::int64_t> GetCONNECTIONS(report::QueryRunner& q);
std::optional<std::int64_t> GetCPU_BUSY(report::QueryRunner& q);
std::optional<std::int64_t> GetIDLE(report::QueryRunner& q);
std::optional<std::int64_t> GetIO_BUSY(report::QueryRunner& q);
std::optional<std::int64_t> GetTOTAL_READ(report::QueryRunner& q);
std::optional<std::int64_t> GetTOTAL_WRITE(report::QueryRunner& q);
std::optional<std::int64_t> GetTOTAL_ERRORS(report::QueryRunner& q);
std::optional<std::int64_t> GetPACK_RECEIVED(report::QueryRunner& q);
std::optional<std::int64_t> GetPACK_SENT(report::QueryRunner& q);
std::optional<std::int64_t> GetPACKET_ERRORS(report::QueryRunner& q);

}  // namespace quorvane::sections
