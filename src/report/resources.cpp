#include "report/resources.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>

namespace quorvane::report {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string_view LoadResource(std::string_view name) {
  if (SameName(name, "RESOURCE_BASEHTML")) return resources::BaseHtml();
  if (SameName(name, "RESOURCE_SQLJOBINFO")) return resources::SqlJobInfo();
  if (SameName(name, "RESOURCE_SQLJOBHISTORY")) return resources::SqlJobHistory();
  throw std::runtime_error("Resource " + std::string(name) + " not found");
}

}  // namespace quorvane::report
