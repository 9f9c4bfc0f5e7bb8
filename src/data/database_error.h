#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace quorvane::data {

// What the server said of a message besides its number and text, as far as the driver passes it
// on: the message state (which tells one 18456 from another), the class (severity), and the
// line and procedure it came from. Absent where the driver gives nothing.
struct ServerMessageDetail {
  std::optional<int> messageState;
  std::optional<int> severity;
  std::optional<int> line;
  std::optional<std::string> procedure;
};

// An error reported by the database layer: the server's or the driver's message, ready to
// show to the user. Number and SQLSTATE are kept when the driver gave them (0 and "" otherwise).
class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& message, int number = 0, std::string state = {},
                         ServerMessageDetail detail = {})
      : std::runtime_error(message),
        number_(number),
        state_(std::move(state)),
        detail_(std::move(detail)) {}

  int number() const { return number_; }
  const std::string& state() const { return state_; }
  const ServerMessageDetail& detail() const { return detail_; }

 private:
  int number_;
  std::string state_;
  ServerMessageDetail detail_;
};

// The message opening a batch fails with when no row set comes back at all. Callers recognise
// it by this exact text (letter case included).
inline constexpr const char* kNoResultSetMessage = "CommandText does not return a result set";

// The message of a batch that was cancelled, or not sent because the connection was cancelled.
inline constexpr const char* kCancelledMessage = "The operation was cancelled";

}  // namespace quorvane::data
