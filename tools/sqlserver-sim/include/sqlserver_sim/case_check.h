#pragma once

#include <optional>
#include <string_view>

#include "sqlserver_sim/tokens.h"

// What a server with a case-sensitive collation says about a batch that names a system object
// or a column in the wrong letter case.
namespace sqlsim {

// The first misspelt procedure (2812) or system table/view (208) in the text, else the first
// misspelt column (207) of a system table the batch names or of a temporary table it creates;
// nothing when the batch is fine. Strings, comments, "quoted" and [bracketed] names, variables
// and the name after AS are not looked at.
std::optional<ServerMessage> CaseSensitiveError(std::string_view batch);

}  // namespace sqlsim
