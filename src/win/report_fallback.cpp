#include "win/report_fallback.h"

#include <system_error>

#include "report/text.h"
#include "win/window_text.h"

namespace quorvane::win {

std::wstring FallbackPageText(const std::filesystem::path& report) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(report, error);
  const std::wstring sizeText =
      error ? L"unknown" : Wide(report::GroupThousands(std::to_string(size))) + L" bytes";
  return L"The report was written completely.\r\n\r\nSize: " + sizeText + L"\r\nFile: " +
         report.wstring() +
         L"\r\n\r\nThis computer's HTML engine cannot show it in this window. Open it in your "
         L"web browser, or keep it with Save Output.";
}

}  // namespace quorvane::win
