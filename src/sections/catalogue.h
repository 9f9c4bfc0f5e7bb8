#pragma once

#include "report/query_runner.h"

// One call of a system procedure each, shown unchanged as tables. Named after the procedure
// they run; the report run calls them in this order.
namespace quorvane::sections {

void sp_server_info(report::QueryRunner& q);
void sp_configure(report::QueryRunner& q);
void sp_helpsort(report::QueryRunner& q);
void sp_helpserver(report::QueryRunner& q);
void sp_helplinkedsrvlogin(report::QueryRunner& q);
void sp_help_targetserver(report::QueryRunner& q);
void sp_help_targetservergroup(report::QueryRunner& q);
void sp_helpdevice(report::QueryRunner& q);
void sp_helpdb(report::QueryRunner& q);
// The files and space of every database: three tables per database, "<hr>" between databases.
void sp_helpfileALL(report::QueryRunner& q);
void sp_helpsrvrole(report::QueryRunner& q);
void sp_helpsrvrolemember(report::QueryRunner& q);
void sp_helplogins(report::QueryRunner& q);
void xp_logininfo(report::QueryRunner& q);
void sp_validatelogins(report::QueryRunner& q);
void xp_loginconfig(report::QueryRunner& q);

}  // namespace quorvane::sections
