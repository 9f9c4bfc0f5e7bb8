#pragma once

#include <cstdlib>
#include <string>

namespace quorvane::testing {

// setenv/unsetenv, which Windows spells _putenv_s (an empty value removes the variable there).
inline void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");
#else
  ::unsetenv(name);
#endif
}

}  // namespace quorvane::testing
