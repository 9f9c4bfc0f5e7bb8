#include "snapshot/html_page.h"

#include <stdexcept>

#include "report/locale_text.h"
#include "report/resources.h"
#include "report/text.h"

namespace quorvane::snapshot {

std::string PageStart(std::string_view title, std::string_view extraStyles) {
  const std::string_view base = report::LoadResource("Resource_BaseHTML");
  constexpr std::string_view kStyleEnd = "</STYLE>";
  constexpr std::string_view kTitle = "<TITLE>SQL Server Quorvane</TITLE>";
  const std::size_t styleEnd = base.find(kStyleEnd);
  const std::size_t titleAt = base.find(kTitle);
  if (styleEnd == std::string_view::npos || titleAt == std::string_view::npos) {
    throw std::logic_error("the report template has no title or style element");
  }
  std::string page(base.substr(0, styleEnd));
  page.replace(titleAt, kTitle.size(), "<TITLE>" + report::HtmlEscape(title) + "</TITLE>");
  page += extraStyles;
  page += "</STYLE>\r\n</HEAD>\r\n<BODY>\r\n";
  return page;
}

std::string PageEnd(std::string_view what) {
  return "<div class=\"CopyrightLine\">" + report::HtmlEscape(what) + " created on " +
         report::HtmlEscape(report::LocaleDateTimeText(report::LocalNow())) +
         " by SQL Server Quorvane v" + report::GetVersionString() +
         "</div>\r\n</BODY>\r\n</HTML>\r\n";
}

}  // namespace quorvane::snapshot
