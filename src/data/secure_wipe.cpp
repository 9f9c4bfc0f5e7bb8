#include "data/secure_wipe.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <string.h>
#endif

namespace quorvane::data {

void SecureWipe(std::string& secret) {
#ifdef _WIN32
  ::SecureZeroMemory(secret.data(), secret.size());
#else
  ::explicit_bzero(secret.data(), secret.size());
#endif
  secret.clear();
}

}  // namespace quorvane::data
