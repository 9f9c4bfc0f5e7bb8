#include "help_rtf.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <vector>

namespace quorvane::help {

namespace {

constexpr int kIndentTwips = 360;  // one list level
constexpr int kTableWidthTwips = 9600;

struct Tag {
  std::string name;  // lower case, without "/"
  bool closing = false;
  std::map<std::string, std::string> attributes;
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

Tag ParseTag(std::string_view inside) {
  Tag tag;
  std::size_t i = 0;
  if (i < inside.size() && inside[i] == '/') {
    tag.closing = true;
    ++i;
  }
  auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
  const std::size_t nameStart = i;
  while (i < inside.size() && isName(inside[i])) ++i;
  tag.name = Lower(inside.substr(nameStart, i - nameStart));
  while (i < inside.size()) {
    while (i < inside.size() && !isName(inside[i])) ++i;
    const std::size_t keyStart = i;
    while (i < inside.size() && isName(inside[i])) ++i;
    if (keyStart == i) break;
    const std::string key = Lower(inside.substr(keyStart, i - keyStart));
    std::string value;
    if (i < inside.size() && inside[i] == '=') {
      ++i;
      const char quote = i < inside.size() ? inside[i] : '\0';
      if (quote == '"' || quote == '\'') {
        const std::size_t end = inside.find(quote, i + 1);
        value = inside.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
        i = end == std::string_view::npos ? inside.size() : end + 1;
      } else {
        const std::size_t valueStart = i;
        while (i < inside.size() && !std::isspace(static_cast<unsigned char>(inside[i]))) ++i;
        value = inside.substr(valueStart, i - valueStart);
      }
    }
    tag.attributes[key] = value;
  }
  return tag;
}

// The next code point of UTF-8 `text` at `i` (advanced); a broken sequence gives U+FFFD.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0) return U'\uFFFD';
  char32_t code = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return U'\uFFFD';
    code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  return code;
}

// The code points of text with its character references resolved.
std::u32string DecodeText(std::string_view text) {
  static const std::map<std::string, char32_t, std::less<>> kNamed{
      {"amp", U'&'},        {"lt", U'<'},         {"gt", U'>'},         {"quot", U'"'},
      {"apos", U'\''},      {"nbsp", U'\u00A0'},  {"copy", U'\u00A9'},  {"reg", U'\u00AE'},
      {"ndash", U'\u2013'}, {"mdash", U'\u2014'}, {"hellip", U'\u2026'}};
  std::u32string decoded;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '&') {
      const std::size_t semicolon = text.find(';', i);
      if (semicolon != std::string_view::npos && semicolon - i <= 10) {
        const std::string_view name = text.substr(i + 1, semicolon - i - 1);
        if (name.size() > 1 && name[0] == '#') {
          const bool hex = name[1] == 'x' || name[1] == 'X';
          const std::string digits(name.substr(hex ? 2 : 1));
          char* end = nullptr;
          const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
          if (!digits.empty() && end && *end == '\0' && value <= 0x10FFFF) {
            decoded += static_cast<char32_t>(value);
            i = semicolon + 1;
            continue;
          }
        } else if (const auto named = kNamed.find(name); named != kNamed.end()) {
          decoded += named->second;
          i = semicolon + 1;
          continue;
        }
      }
    }
    decoded += NextCodePoint(text, i);
  }
  return decoded;
}

void AppendUnicode(std::string& out, std::uint16_t unit) {
  // RTF's \uN takes a signed 16-bit number; "?" is the fallback for readers without Unicode.
  out += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + "?";
}

class Converter {
 public:
  explicit Converter(const std::vector<Picture>& pictures) : pictures_(pictures) {}

  std::string Convert(std::string_view html) {
    std::size_t i = 0;
    while (i < html.size()) {
      if (html.compare(i, 4, "<!--") == 0) {
        const std::size_t end = html.find("-->", i);
        i = end == std::string_view::npos ? html.size() : end + 3;
      } else if (html[i] == '<' && i + 1 < html.size() && html[i + 1] == '!') {
        const std::size_t end = html.find('>', i);
        i = end == std::string_view::npos ? html.size() : end + 1;
      } else if (html[i] == '<') {
        const std::size_t end = html.find('>', i);
        if (end == std::string_view::npos) break;
        Element(ParseTag(html.substr(i + 1, end - i - 1)));
        i = end + 1;
      } else {
        const std::size_t end = std::min(html.find('<', i), html.size());
        Text(DecodeText(html.substr(i, end - i)));
        i = end;
      }
    }
    EndParagraph();
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n";
    rtf += "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fmodern\\fcharset0 Courier New;}}\n";
    rtf += "{\\colortbl;";
    for (const std::uint32_t color : colors_) {
      rtf += "\\red" + std::to_string(color >> 16) + "\\green" +
             std::to_string((color >> 8) & 0xFF) + "\\blue" + std::to_string(color & 0xFF) + ";";
    }
    rtf += "}\n\\f0\\fs20\n" + body_ + "}\n";
    return rtf;
  }

 private:
  struct List {
    bool ordered = false;
    int next = 1;
  };

  int Indent() const { return kIndentTwips * static_cast<int>(lists_.size()); }

  int ColorIndex(std::uint32_t rgb) {
    const auto found = std::find(colors_.begin(), colors_.end(), rgb);
    if (found != colors_.end()) return static_cast<int>(found - colors_.begin()) + 1;
    colors_.push_back(rgb);
    return static_cast<int>(colors_.size());
  }

  // "font-size:12pt; font-weight:bold; color:#0000C0" as RTF character formatting.
  std::string SpanFormat(const std::string& style) {
    std::string format;
    std::size_t start = 0;
    while (start < style.size()) {
      std::size_t end = style.find(';', start);
      if (end == std::string::npos) end = style.size();
      const std::string declaration = style.substr(start, end - start);
      start = end + 1;
      const std::size_t colon = declaration.find(':');
      if (colon == std::string::npos) continue;
      auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(" \t\r\n"));
        text.erase(text.find_last_not_of(" \t\r\n") + 1);
        return Lower(text);
      };
      const std::string property = trim(declaration.substr(0, colon));
      const std::string value = trim(declaration.substr(colon + 1));
      if (property == "font-size" && value.ends_with("pt")) {
        format += "\\fs" + std::to_string(std::atoi(value.c_str()) * 2);
      } else if (property == "font-weight" && (value == "bold" || value == "700")) {
        format += "\\b";
      } else if (property == "font-style" && value == "italic") {
        format += "\\i";
      } else if (property == "color" && value.size() == 7 && value[0] == '#') {
        format += "\\cf" + std::to_string(ColorIndex(static_cast<std::uint32_t>(
                               std::stoul(value.substr(1), nullptr, 16))));
      }
    }
    return format;
  }

  void StartParagraph(const std::string& format) {
    EndParagraph();
    body_ += "\\pard" + format + " ";
    open_ = true;
    atLineStart_ = true;
    pendingSpace_ = false;
  }

  void EndParagraph() {
    if (!open_) return;
    body_ += "\\par\n";
    open_ = false;
  }

  // A space before an inline element belongs before it, not inside.
  void FlushSpace() {
    if (pendingSpace_) body_ += ' ';
    pendingSpace_ = false;
  }

  void Group(const std::string& format) {
    FlushSpace();
    body_ += "{" + format + " ";
    closers_.push_back("}");
  }

  void Element(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "head" || name == "title" || name == "style" || name == "script") {
      hidden_ += tag.closing ? -1 : 1;
      hidden_ = std::max(hidden_, 0);
      return;
    }
    if (tag.closing) {
      Close(name);
      return;
    }
    if (name == "p") {
      const auto align = tag.attributes.find("align");
      const bool centred = align != tag.attributes.end() && Lower(align->second) == "center";
      StartParagraph((centred ? "\\qc" : "") + std::string("\\li") + std::to_string(Indent()) +
                     "\\sa120");
    } else if (name == "h1" || name == "h2" || name == "h3") {
      static const std::map<std::string, int> kSizes{{"h1", 36}, {"h2", 24}, {"h3", 20}};
      StartParagraph("\\sb120\\sa120");
      body_ += "{\\b\\fs" + std::to_string(kSizes.at(name)) + "\\cf" +
               std::to_string(ColorIndex(0x0000C0)) + " ";
    } else if (name == "ul" || name == "ol") {
      EndParagraph();
      lists_.push_back({name == "ol", 1});
    } else if (name == "li") {
      if (lists_.empty()) lists_.push_back({});
      List& list = lists_.back();
      const int indent = Indent();
      StartParagraph("\\fi-" + std::to_string(kIndentTwips / 2 + 60) + "\\li" +
                     std::to_string(indent) + "\\tx" + std::to_string(indent) + "\\sa40");
      body_ += list.ordered ? std::to_string(list.next++) + ".\\tab " : "\\bullet\\tab ";
    } else if (name == "pre") {
      StartParagraph("\\li" + std::to_string(Indent() + kIndentTwips / 2) + "\\sa120");
      body_ += "{\\f1\\fs18 ";
      ++pre_;
      preStart_ = true;
    } else if (name == "br") {
      body_ += "\\line ";
      atLineStart_ = true;
      pendingSpace_ = false;
    } else if (name == "hr") {
      StartParagraph("\\brdrb\\brdrs\\brdrw10\\brsp20\\sa120");
      EndParagraph();
    } else if (name == "b" || name == "strong") {
      Group("\\b");
    } else if (name == "i" || name == "em") {
      Group("\\i");
    } else if (name == "code" || name == "tt") {
      Group("\\f1");
    } else if (name == "span") {
      const auto style = tag.attributes.find("style");
      Group(style == tag.attributes.end() ? std::string() : SpanFormat(style->second));
    } else if (name == "a") {
      FlushSpace();
      const auto href = tag.attributes.find("href");
      link_ = href == tag.attributes.end() ? std::string() : href->second;
      linkText_.clear();
    } else if (name == "img") {
      Image(tag);
    } else if (name == "tr") {
      EndParagraph();
      rowStart_ = body_.size();
      cells_ = 0;
    } else if (name == "td" || name == "th") {
      body_ += "\\pard\\intbl ";
      if (name == "th") body_ += "{\\b ";
      atLineStart_ = true;
      pendingSpace_ = false;
      ++cells_;
    }
  }

  // The icon's image of the width asked (in pixels at 96 dpi), as a bitmap.
  void Image(const Tag& tag) {
    const auto source = tag.attributes.find("src");
    const auto width = tag.attributes.find("width");
    if (source == tag.attributes.end() || width == tag.attributes.end()) return;
    const auto size = static_cast<std::uint32_t>(std::atoi(width->second.c_str()));
    for (const Picture& picture : pictures_) {
      if (!source->second.ends_with(picture.name)) continue;
      const std::string dib = DibFromIcon(picture.icon, size);
      if (dib.empty()) continue;
      FlushSpace();
      const std::string pixels = std::to_string(size);
      const std::string twips = std::to_string(size * 15);
      body_ += "{\\pict\\dibitmap0\\picw" + pixels + "\\pich" + pixels + "\\picwgoal" + twips +
               "\\pichgoal" + twips + "\n";
      static constexpr char kHex[] = "0123456789abcdef";
      for (std::size_t i = 0; i < dib.size(); ++i) {
        body_ += kHex[static_cast<unsigned char>(dib[i]) >> 4];
        body_ += kHex[static_cast<unsigned char>(dib[i]) & 0xF];
        if (i % 64 == 63) body_ += '\n';
      }
      body_ += "}";
      atLineStart_ = false;
      return;
    }
  }

  void Close(const std::string& name) {
    if (name == "p" || name == "li") {
      EndParagraph();
    } else if (name == "h1" || name == "h2" || name == "h3") {
      body_ += "}";
      EndParagraph();
    } else if (name == "ul" || name == "ol") {
      EndParagraph();
      if (!lists_.empty()) lists_.pop_back();
    } else if (name == "pre") {
      body_ += "}";
      pre_ = std::max(pre_ - 1, 0);
      EndParagraph();
    } else if (name == "b" || name == "strong" || name == "i" || name == "em" || name == "code" ||
               name == "tt" || name == "span") {
      if (!closers_.empty()) {
        body_ += closers_.back();
        closers_.pop_back();
      }
    } else if (name == "a") {
      // Web addresses show as their text, which the viewer recognises and makes clickable;
      // a link whose text is not its address gets the address beside it.
      const bool external = link_.find("://") != std::string::npos || link_.starts_with("mailto:");
      if (external && linkText_ != link_) Text(DecodeText(" (" + link_ + ")"));
      link_.clear();
    } else if (name == "td" || name == "th") {
      if (name == "th") body_ += "}";
      body_ += "\\cell ";
    } else if (name == "tr") {
      std::string row = "\\trowd\\trgaph60\\trleft" + std::to_string(Indent());
      const int width = kTableWidthTwips / std::max(cells_, 1);
      for (int cell = 1; cell <= cells_; ++cell) {
        row +=
            "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
            "\\clbrdrr\\brdrs\\brdrw10\\cellx" +
            std::to_string(Indent() + cell * width);
      }
      body_.insert(rowStart_, row + "\n");
      body_ += "\\row\n";
    } else if (name == "table") {
      body_ += "\\pard\\sa120\\par\n";
    }
  }

  void Text(const std::u32string& text) {
    if (hidden_ > 0) return;
    for (const char32_t c : text) {
      if (pre_ > 0) {
        if (c == U'\r') continue;
        if (c == U'\n') {
          if (!preStart_) body_ += "\\line\n";
          preStart_ = false;
          continue;
        }
        preStart_ = false;
        Character(c);
        continue;
      }
      if (c == U' ' || c == U'\t' || c == U'\r' || c == U'\n') {
        if (!atLineStart_) pendingSpace_ = true;
        continue;
      }
      if (!open_ && closers_.empty() && cells_ == 0) {
        // Text after a nested list goes on in its item's indentation.
        StartParagraph("\\li" + std::to_string(Indent()) + "\\sa40");
      }
      if (pendingSpace_) Character(U' ');
      pendingSpace_ = false;
      atLineStart_ = false;
      Character(c);
    }
  }

  void Character(char32_t c) {
    if (!link_.empty() && c < 0x80) linkText_ += static_cast<char>(c);
    if (c == U'\\' || c == U'{' || c == U'}') {
      body_ += '\\';
      body_ += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      body_ += static_cast<char>(c);
    } else if (c == U'\t') {
      body_ += "\\tab ";
    } else if (c > 0xFFFF) {
      const char32_t v = c - 0x10000;
      AppendUnicode(body_, static_cast<std::uint16_t>(0xD800 + (v >> 10)));
      AppendUnicode(body_, static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
    } else if (c >= 0x80) {
      AppendUnicode(body_, static_cast<std::uint16_t>(c));
    }
  }

  const std::vector<Picture>& pictures_;
  std::string body_;
  std::vector<std::uint32_t> colors_;
  std::vector<List> lists_;
  std::vector<std::string> closers_;
  std::string link_;
  std::string linkText_;
  std::size_t rowStart_ = 0;
  int cells_ = 0;
  int hidden_ = 0;
  int pre_ = 0;
  bool preStart_ = false;
  bool open_ = false;
  bool atLineStart_ = true;
  bool pendingSpace_ = false;
};

}  // namespace

std::string HtmlToRtf(std::string_view html, const std::vector<Picture>& pictures) {
  return Converter(pictures).Convert(html);
}

std::string DibFromIcon(std::string_view ico, std::uint32_t size) {
  auto number = [&](std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int k = bytes - 1; k >= 0; --k) {
      value = (value << 8) | static_cast<unsigned char>(ico[at + static_cast<std::size_t>(k)]);
    }
    return value;
  };
  constexpr std::size_t kHeader = 40;  // BITMAPINFOHEADER
  if (ico.size() < 6) return {};
  const std::uint32_t count = number(4, 2);
  for (std::uint32_t i = 0; i < count && 6 + 16 * (i + 1) <= ico.size(); ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::uint32_t width = number(entry, 1) == 0 ? 256 : number(entry, 1);
    const std::uint32_t length = number(entry + 8, 4);
    const std::uint32_t offset = number(entry + 12, 4);
    const std::size_t pixels = std::size_t{size} * size * 4;
    if (width != size || offset > ico.size() || length > ico.size() - offset ||
        length < kHeader + pixels || number(offset, 4) != kHeader || number(offset + 14, 2) != 32) {
      continue;
    }
    // The header says twice the height (the image and its mask): the mask goes.
    std::string dib(ico.substr(offset, kHeader + pixels));
    for (int k = 0; k < 4; ++k) dib[8 + k] = static_cast<char>((size >> (8 * k)) & 0xFF);
    for (std::size_t p = kHeader; p < dib.size(); p += 4) {
      const unsigned alpha = static_cast<unsigned char>(dib[p + 3]);
      for (std::size_t c = 0; c < 3; ++c) {
        const unsigned colour = static_cast<unsigned char>(dib[p + c]);
        dib[p + c] = static_cast<char>((colour * alpha + 255 * (255 - alpha)) / 255);
      }
      dib[p + 3] = 0;
    }
    return dib;
  }
  return {};
}

}  // namespace quorvane::help
