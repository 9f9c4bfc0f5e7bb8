// The help document as RTF for the Windows help viewer, made from the one HTML source at build
// time. Only what the help uses is understood: paragraphs (centred), headings and styled spans
// (size, bold, colour), bold, code, pre, line breaks, rules, nested bulleted and numbered lists,
// simple tables and links; everything else keeps only its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::help {

// A picture the document shows: an <img> whose source ends in `name` becomes the image of
// this icon that has the width the <img> asks for.
struct Picture {
  std::string name;
  std::string icon;  // the bytes of an .ico file
};

// `html` is UTF-8; the result is plain ASCII RTF, characters beyond ASCII as \uN.
std::string HtmlToRtf(std::string_view html, const std::vector<Picture>& pictures = {});

// The `size`-pixel 32-bit image of an .ico file as a device-independent bitmap (header and
// pixels), laid on white; empty when the icon has none. RichEdit shows such bitmaps everywhere,
// Wine's included, which shows no PNG.
std::string DibFromIcon(std::string_view ico, std::uint32_t size);

}  // namespace quorvane::help
