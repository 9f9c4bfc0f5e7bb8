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

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendControlPicture(std::string& out, unsigned char byte) {
  // U+2400 + code (and U+2421 for DEL) are the Unicode pictures of the control characters.
  const unsigned picture = byte == 0x7F ? 0x21u : byte;
  out += "&#x24";
  out += kHexDigits[picture >> 4];
  out += kHexDigits[picture & 15];
  out += ';';
}

constexpr bool IsHiddenControl(unsigned char byte) {
  return (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || byte == 0x7F;
}

// The bytes at which HtmlEscape may have something to do: everything else is copied in runs.
constexpr std::array<bool, 256> kEscapeStarts = [] {
  std::array<bool, 256> starts{};
  for (unsigned b = 0; b < 256; ++b) {
    starts[b] = IsHiddenControl(static_cast<unsigned char>(b)) || b == '&' || b == '"' ||
                b == '<' || b == '>' || b == 0xC2 || b == 0xE2;
  }
  return starts;
}();

}  // namespace

// One pass that gives what replacing "&", the three signs, the quotation mark and the angle
// brackets one after the other, then making controls visible, gives: no replacement writes
// anything a later one would replace again.
void AppendHtmlEscaped(std::string& out, std::string_view text) {
  const std::size_t size = text.size();
  std::size_t run = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!kEscapeStarts[byte]) continue;
    std::string_view entity;
    std::size_t length = 1;
    if (byte == '&') {
      entity = "&amp;";
    } else if (byte == '"') {
      entity = "&quot;";
    } else if (byte == '<') {
      entity = "&lt;";
    } else if (byte == '>') {
      entity = "&gt;";
    } else if (byte == 0xC2 && i + 1 < size && (text[i + 1] == '\xA9' || text[i + 1] == '\xAE')) {
      entity = text[i + 1] == '\xA9' ? "&copy;" : "&reg;";
      length = 2;
    } else if (byte == 0xE2 && text.substr(i, 3) == "\u2122") {
      entity = "&trade;";
      length = 3;
    } else if (!IsHiddenControl(byte)) {
      continue;
    }
    out.append(text.data() + run, i - run);
    if (entity.empty()) {
      AppendControlPicture(out, byte);
    } else {
      out += entity;
    }
    i += length - 1;
    run = i + 1;
  }
  out.append(text.data() + run, size - run);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(out, text);
  return out;
}

std::string VisibleControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsHiddenControl(byte)) {
      AppendControlPicture(out, byte);
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

std::string AsciiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameAsciiName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
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

std::string PercentEncode(std::string_view text, std::string_view alsoSafe) {
  std::string url;
  url.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      (c != 0 && alsoSafe.find(ch) != std::string_view::npos);
    if (safe) {
      url += ch;
    } else {
      url += '%';
      url += kHexDigits[c >> 4];
      url += kHexDigits[c & 15];
    }
  }
  return url;
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
