#include "report/run_recorder.h"

namespace quorvane::report {

std::string SectionAnchor(std::string_view headingHtml) {
  constexpr std::string_view kOpen = "<a name=\"";
  const std::size_t start = headingHtml.find(kOpen);
  if (start == std::string_view::npos) return {};
  const std::size_t from = start + kOpen.size();
  const std::size_t end = headingHtml.find('"', from);
  if (end == std::string_view::npos) return {};
  return std::string(headingHtml.substr(from, end - from));
}

}  // namespace quorvane::report
