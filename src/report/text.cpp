#include "report/text.h"

#include <array>

namespace quorvane::report {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

constexpr bool IsSeparator(char c) {
  constexpr std::string_view kSeparators = " !\"#$&()+,-./:<=>?[]`{|}";
  return kSeparators.find(c) != std::string_view::npos;
}

constexpr char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
constexpr char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out(text);
  // "&" goes first so that the entities written below are not escaped again.
  ReplaceAll(out, "&", "&amp;");
  ReplaceAll(out, "\u00A9", "&copy;");
  ReplaceAll(out, "\u00AE", "&reg;");
  ReplaceAll(out, "\u2122", "&trade;");
  ReplaceAll(out, "\"", "&quot;");
  ReplaceAll(out, "<", "&lt;");
  ReplaceAll(out, ">", "&gt;");
  return VisibleControls(out);
}

std::string VisibleControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F) {
      // U+2400 + code (and U+2421 for DEL) are the Unicode pictures of the control characters.
      static constexpr char kHex[] = "0123456789ABCDEF";
      const unsigned picture = byte == 0x7F ? 0x21u : byte;
      out += "&#x24";
      out += kHex[picture >> 4];
      out += kHex[picture & 15];
      out += ';';
    } else {
      out += c;
    }
  }
  return out;
}

std::string CommentText(std::string_view text) {
  // A comment ends at the first "--" followed by ">" (or "!>"): no "--" may stand in it at all.
  std::string out = VisibleControls(text);
  for (std::size_t at = out.find("--"); at != std::string::npos; at = out.find("--", at)) {
    out.insert(at + 1, 1, ' ');
  }
  return out;
}

std::string TitleCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  if (out.empty()) return out;
  out[0] = Upper(out[0]);
  // Text is UTF-8: bytes of multi-byte characters are never separators nor ASCII letters, so
  // working byte by byte leaves them alone.
  for (std::size_t i = 0; i + 1 < out.size(); ++i) {
    if (IsSeparator(out[i])) out[i + 1] = Upper(out[i + 1]);
  }
  return out;
}

std::string GroupThousands(std::string_view text) {
  // A minus sign is not a digit: group what follows it, so that -123 does not become "-,123".
  if (!text.empty() && text.front() == '-') return "-" + GroupThousands(text.substr(1));
  std::string out(text);
  // Positions count from 1 on the given text; inserting from the right keeps them valid.
  for (long p = static_cast<long>(text.size()) - 2; p > 1; p -= 3) {
    out.insert(static_cast<std::size_t>(p - 1), 1, ',');
  }
  return out;
}

bool ReplaceInStrings(std::string_view oldText, std::string_view newText,
                      std::vector<std::string>& list) {
  std::string text;
  for (const auto& line : list) {
    text += line;
    text += "\r\n";
  }
  if (oldText.empty() || text.find(oldText) == std::string::npos) return false;
  ReplaceAll(text, oldText, newText);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  list = std::move(lines);
  return true;
}

std::string GetVersionString() {
#ifdef QUORVANE_VERSION
  return QUORVANE_VERSION;
#else
#error "QUORVANE_VERSION must be set by the build"
#endif
}

}  // namespace quorvane::report
