#pragma once

#include "report/report_outline.h"

namespace quorvane::sections {

// The report's body as the program writes it: general information, statistics, the host and
// server sections, SQL Server Agent, devices, databases, roles, logins and replication.
class StandardOutline : public report::ReportOutline {
 public:
  void AppendBody(report::QueryRunner& q, const report::SectionHeading& heading) const override;
  int SectionCount() const override { return 14; }
};

}  // namespace quorvane::sections
