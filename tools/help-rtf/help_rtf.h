// The help document as RTF for the Windows help viewer, made from the one HTML source at build
// time. Only what the help uses is understood: paragraphs (centred), headings and styled spans
// (size, bold, colour), bold, code, pre, line breaks, rules, nested bulleted and numbered lists,
// simple tables and links; everything else keeps only its text.
#pragma once

#include <string>
#include <string_view>

namespace quorvane::help {

// `html` is UTF-8; the result is plain ASCII RTF, characters beyond ASCII as \uN.
std::string HtmlToRtf(std::string_view html);

}  // namespace quorvane::help
