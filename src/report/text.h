#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::report {

// Escapes text for HTML: "&" first, then the copyright, registered and trademark signs, the
// quotation mark and the angle brackets; control characters become visible (VisibleControls).
std::string HtmlEscape(std::string_view text);
// The same, appended to `out`.
void AppendHtmlEscaped(std::string& out, std::string_view text);

// Control characters other than tab, CR and LF, which break viewers and parsers, written as the
// character references of their Unicode pictures: NUL as "&#x2400;", DEL as "&#x2421;".
std::string VisibleControls(std::string_view text);

// Text that can stand inside an HTML comment: controls made visible and every "--" split, so
// that no "-->" in it ends the comment early.
std::string CommentText(std::string_view text);

// The text with the letters A-Z lower-cased, for comparing names as the server does.
std::string AsciiLowerCase(std::string_view text);
// Whether two names are the same, the letters A-Z compared without regard to case.
bool SameAsciiName(std::string_view a, std::string_view b);

// Lower-cases the letters A-Z, then raises a-z at the start and after each of the 24 separators.
std::string TitleCase(std::string_view text);

// `text` with every byte that is neither an ASCII letter or digit nor one of `alsoSafe`
// percent-encoded, for a URL.
std::string PercentEncode(std::string_view text, std::string_view alsoSafe);

// Inserts "," every three characters from the right ("1234567" -> "1,234,567").
std::string GroupThousands(std::string_view text);

// Replaces every `oldText` by `newText` in the list's text (lines joined by CR LF) and splits it
// into lines again. Returns false, leaving the list alone, when `oldText` does not occur.
bool ReplaceInStrings(std::string_view oldText, std::string_view newText,
                      std::vector<std::string>& list);

// The program's own version, four numbers joined by ".".
std::string GetVersionString();

}  // namespace quorvane::report
