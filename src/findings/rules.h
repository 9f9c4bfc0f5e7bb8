#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "findings/facts.h"
#include "findings/finding.h"

namespace quorvane::findings {

// What a rule says when its facts trigger it; the collector adds the id, the section and the
// evidence.
struct Hit {
  Severity severity = Severity::kLow;
  std::string subject;
  std::string title;
  std::string detail;
  std::size_t row = 0;  // which of the facts' rows holds the evidence
};

// One finding: its id (part of the formats), the result it reads, and the test.
struct Rule {
  std::string_view id;
  Source source;
  std::optional<Hit> (*check)(const Facts& facts);
};

// Every rule, one entry each (rules.cpp).
const std::vector<Rule>& Rules();

// The rule of this id; null when there is none.
const Rule* FindRule(std::string_view id);

}  // namespace quorvane::findings
