#include "sections/replication.h"

#include <string>

namespace quorvane::sections {

void sp_helpreplicationdboption(report::QueryRunner& q) {
  q.TableSection("EXEC master..sp_helpreplicationdboption");
}

void sp_helpdistributor(report::QueryRunner& q) {
  q.TableSection("EXEC master..sp_helpdistributor");
}

void sp_helpdistributiondb(report::QueryRunner& q) {
  q.TableSection("EXEC master..sp_helpdistributiondb");
}

void sp_helpdistpublisher(report::QueryRunner& q) {
  q.TableSection("EXEC master..sp_helpdistpublisher");
}

// The per-database lines end with one blank after the closing apostrophe.

void sp_helpPublicationALL(report::QueryRunner& q) {
  q.TableSection("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helppublication;' ");
}

void sp_helpmergepublication(report::QueryRunner& q) {
  q.TableSection("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpmergepublication;' ");
}

void sp_helpmergepullsubscription(report::QueryRunner& q) {
  q.TableSection("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpmergepullsubscription;' ");
}

void sp_helppullsubscription(report::QueryRunner& q) {
  q.TableSection("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helppullsubscription;' ");
}

void sp_helpsubscriberinfo(report::QueryRunner& q) {
  q.TableSection("EXEC master..sp_helpsubscriberinfo");
}

void sp_helpsubscription_properties(report::QueryRunner& q) {
  q.TableSection("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpsubscription_properties;' ");
}

void sp_replcounters(report::QueryRunner& q) {
  q.TableSection("EXEC master..sp_replcounters");
}

void sp_help_agent_profile(report::QueryRunner& q) {
  // Status bit 8 marks the distributor entry. Without one the batch returns no result set,
  // which the query step takes as no error.
  // clang-format off
  q.TableSection("IF EXISTS(SELECT * FROM master..sysservers WHERE srvstatus & 8 <> 0) EXEC master..sp_help_agent_profile");
  // clang-format on
}

}  // namespace quorvane::sections
