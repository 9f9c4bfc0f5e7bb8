#pragma once

#include <string>

namespace quorvane::data {

// Overwrites the string's characters with zeros in a way the optimiser may not drop, then
// empties it. For passwords, before their memory is released or reused.
void SecureWipe(std::string& secret);

}  // namespace quorvane::data
