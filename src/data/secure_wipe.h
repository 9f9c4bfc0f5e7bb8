#pragma once

#include <string>

namespace quorvane::data {

// Overwrites a secret (a password, a connection string holding one) in a way the compiler may
// not optimise away, then empties the string.
void SecureWipe(std::string& secret);

}  // namespace quorvane::data
