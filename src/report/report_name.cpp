#include "report/report_name.h"

#include <cstdio>

namespace quorvane::report {

std::string ProposedReportName(std::string_view serverText, const data::DateTime& startTime) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d.%02d.%02d", startTime.year,
                startTime.month, startTime.day, startTime.hour, startTime.minute, startTime.second);
  std::string name = std::string(serverText) + " " + stamp + ".htm";
  for (char& c : name) {
    if (c == '\\' || c == '/') c = '-';
    if (c == ' ') c = '_';
#ifdef _WIN32
    // "tcp:host" and the like: Windows file names cannot hold these either.
    if (c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') c = '-';
#endif
  }
  return name;
}

}  // namespace quorvane::report
