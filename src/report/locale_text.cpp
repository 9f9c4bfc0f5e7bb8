#include "report/locale_text.h"

#include <chrono>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace quorvane::report {

namespace {

std::locale UserLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {
    // An environment naming a locale the system lacks: write dates the portable way.
    return std::locale::classic();
  }
}

}  // namespace

std::string LocaleDateTimeText(const data::DateTime& value) {
  std::tm tm{};
  tm.tm_year = value.year - 1900;
  tm.tm_mon = value.month - 1;
  tm.tm_mday = value.day;
  tm.tm_hour = value.hour;
  tm.tm_min = value.minute;
  tm.tm_sec = value.second;
  tm.tm_isdst = -1;
  const std::locale locale = UserLocale();
  const std::string name = locale.name();
  if (name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) {
    // The C locale writes two-digit years (1899 and 1999 both read "99"): no locale chosen, so
    // use the unambiguous ISO form.
    std::string text = value.ToIsoText().substr(0, value.HasTimeOfDay() ? 19 : 10);
    return text;
  }
  std::ostringstream out;
  out.imbue(locale);
  out << std::put_time(&tm, "%x");
  if (value.HasTimeOfDay()) out << ' ' << std::put_time(&tm, "%X");
  return out.str();
}

data::DateTime LocalNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &seconds);
#else
  localtime_r(&seconds, &tm);
#endif
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  return data::DateTime{
      tm.tm_year + 1900,           tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
      static_cast<int>(ms.count())};
}

}  // namespace quorvane::report
