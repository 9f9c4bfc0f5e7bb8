#include "shell/hints.h"

namespace quorvane::shell {

std::string LongHint(std::string_view hint) {
  const std::size_t bar = hint.find('|');
  return std::string(bar == std::string_view::npos ? hint : hint.substr(bar + 1));
}

std::string ShortHint(std::string_view hint) {
  return std::string(hint.substr(0, hint.find('|')));
}

}  // namespace quorvane::shell
