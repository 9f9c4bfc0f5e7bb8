#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sqlserver_sim/scenario.h"

// TOP n in a batch, for rules whose last row set stands for a SELECT TOP.
namespace sqlsim {

// n of the last TOP n / TOP (n) outside strings and comments; TOP n PERCENT does not count.
std::optional<std::uint64_t> LastTopCount(std::string_view batch);

// The items with the last row set cut to its first n rows.
std::vector<ResultItem> CutLastRowSet(const std::vector<ResultItem>& items, std::uint64_t n);

}  // namespace sqlsim
