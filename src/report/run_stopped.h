#pragma once

#include <stdexcept>

namespace quorvane::report {

// Ends a run before the end of its outline (interrupted, or the link lost for good); the
// report is then closed with a block that gives what() as the reason.
class RunStopped : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quorvane::report
