#pragma once

#include <stdexcept>
#include <string>

namespace quorvane::data {

// An error reported by the database layer: the server's or the driver's message, ready to
// show to the user. Number and state are kept when the server sent them (0 and "" otherwise).
class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& message, int number = 0, std::string state = {})
      : std::runtime_error(message), number_(number), state_(std::move(state)) {}

  int number() const { return number_; }
  const std::string& state() const { return state_; }

 private:
  int number_;
  std::string state_;
};

// The message opening a batch fails with when no row set comes back at all. Callers recognise
// it by this exact text (letter case included).
inline constexpr const char* kNoResultSetMessage = "CommandText does not return a result set";

// The message of a batch that was cancelled, or not sent because the connection was cancelled.
inline constexpr const char* kCancelledMessage = "The operation was cancelled";

}  // namespace quorvane::data
