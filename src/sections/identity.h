#pragma once

#include <cstdint>
#include <string>

#include "data/date_time.h"
#include "report/query_runner.h"

// The server's identity: version, Microsoft version table, start time, up-time, service name and
// the property sentences of the general information section.
namespace quorvane::sections {

void GetSQLVersion(report::QueryRunner& q);
void xp_msver(report::QueryRunner& q);
void GetServiceName(report::QueryRunner& q);
// The creation time of tempdb; the zero date-time when it could not be read.
data::DateTime GetServerStartDateTime(report::QueryRunner& q);
// Day boundaries since the start, counted by the server; 0 when it could not be read.
std::int32_t GetUpTimeDays(report::QueryRunner& q);

std::string IsIntegratedSecurityOnly(report::QueryRunner& q);
std::string IsClustered(report::QueryRunner& q);
std::string IsFullTextInstalled(report::QueryRunner& q);
std::string LicenseType(report::QueryRunner& q);
std::string EngineEdition(report::QueryRunner& q);

}  // namespace quorvane::sections
