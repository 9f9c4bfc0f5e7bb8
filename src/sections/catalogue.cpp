#include "sections/catalogue.h"

#include <string>

namespace quorvane::sections {

namespace {

// A rule between databases: each starts with sp_helpfile's result; sp_spaceused then gives two
// results, or three for a database with a memory-optimized filegroup.
constexpr int kRuleBetweenDatabases = 1;

}  // namespace

void sp_server_info(report::QueryRunner& q) {
  q.TableSection("exec master..sp_server_info");
}

void sp_configure(report::QueryRunner& q) {
  q.TableSection("exec master..sp_configure");
}

void sp_helpsort(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helpsort");
}

void sp_helpserver(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helpserver");
}

void sp_helplinkedsrvlogin(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helplinkedsrvlogin");
}

void sp_help_targetserver(report::QueryRunner& q) {
  q.TableSection("exec msdb..sp_help_targetserver");
}

void sp_help_targetservergroup(report::QueryRunner& q) {
  q.TableSection("exec msdb..sp_help_targetservergroup");
}

void sp_helpdevice(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helpdevice");
}

void sp_helpdb(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helpdb");
}

void sp_helpfileALL(report::QueryRunner& q) {
  q.TableSection("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'",
                 kRuleBetweenDatabases);
}

void sp_helpsrvrole(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helpsrvrole");
}

void sp_helpsrvrolemember(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helpsrvrolemember");
}

void sp_helplogins(report::QueryRunner& q) {
  q.TableSection("exec master..sp_helplogins");
}

void xp_logininfo(report::QueryRunner& q) {
  q.TableSection("exec master..xp_logininfo");
}

void sp_validatelogins(report::QueryRunner& q) {
  q.TableSection("exec master..sp_validatelogins");
}

void xp_loginconfig(report::QueryRunner& q) {
  q.TableSection("exec master..xp_loginconfig");
}

}  // namespace quorvane::sections
