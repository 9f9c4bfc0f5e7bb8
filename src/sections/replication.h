#pragma once

#include "report/query_runner.h"

// The replication procedures, one line each, shown as tables. The per-database ones run in
// every database through sp_MSforeachdb. Named after the procedure they run; the report run
// calls them in this order when replication details are wanted.
namespace quorvane::sections {

void sp_helpreplicationdboption(report::QueryRunner& q);
void sp_helpdistributor(report::QueryRunner& q);
void sp_helpdistributiondb(report::QueryRunner& q);
void sp_helpdistpublisher(report::QueryRunner& q);
void sp_helpPublicationALL(report::QueryRunner& q);
void sp_helpmergepublication(report::QueryRunner& q);
void sp_helpmergepullsubscription(report::QueryRunner& q);
void sp_helppullsubscription(report::QueryRunner& q);
void sp_helpsubscriberinfo(report::QueryRunner& q);
void sp_helpsubscription_properties(report::QueryRunner& q);
void sp_replcounters(report::QueryRunner& q);
// Asked only of a server that is a distributor; elsewhere "None." without an error.
void sp_help_agent_profile(report::QueryRunner& q);

}  // namespace quorvane::sections
