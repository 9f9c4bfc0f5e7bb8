#include "help_rtf.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvane::help {
namespace {

TEST(HelpRtf, DocumentFrameAndColourTable) {
  const std::string rtf = HtmlToRtf(
      "<html><head><title>Hidden</title></head><body>"
      "<p><span style=\"font-size:12pt; font-weight:bold; color:#0000C0;\">Features</span>"
      "</p><h1>Title</h1></body></html>");
  EXPECT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1252"));
  EXPECT_TRUE(rtf.ends_with("}\n"));
  EXPECT_EQ(rtf.find("Hidden"), std::string::npos);
  // One colour entry, shared by the styled span and the heading.
  EXPECT_NE(rtf.find("{\\colortbl;\\red0\\green0\\blue192;}"), std::string::npos);
  EXPECT_NE(rtf.find("{\\fs24\\b\\cf1 Features}\\par"), std::string::npos);
  EXPECT_NE(rtf.find("{\\b\\fs36\\cf1 Title}\\par"), std::string::npos);
  // Balanced groups: RichEdit drops the rest of a document after a stray brace.
  int depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;
    } else if (rtf[i] == '{') {
      ++depth;
    } else if (rtf[i] == '}') {
      ASSERT_GT(depth, 0) << "at " << i;
      --depth;
    }
  }
  EXPECT_EQ(depth, 0);
}

TEST(HelpRtf, ParagraphsCollapseWhitespaceAndKeepPre) {
  const std::string rtf =
      HtmlToRtf("<p align=\"center\">one\n   two<br>three</p><pre>EXEC a;\n  RECONFIGURE;</pre>");
  EXPECT_NE(rtf.find("\\pard\\qc\\li0\\sa120 one two\\line three\\par"), std::string::npos);
  EXPECT_NE(rtf.find("{\\f1\\fs18 EXEC a;\\line\n  RECONFIGURE;}\\par"), std::string::npos);
}

TEST(HelpRtf, NestedAndNumberedLists) {
  const std::string rtf = HtmlToRtf(
      "<ul><li>a<ul><li>b</li></ul>after</li></ul><ol><li>first</li><li>second</li></ol>");
  EXPECT_NE(rtf.find("\\li360\\tx360\\sa40 \\bullet\\tab a\\par"), std::string::npos);
  EXPECT_NE(rtf.find("\\li720\\tx720\\sa40 \\bullet\\tab b\\par"), std::string::npos);
  EXPECT_NE(rtf.find("\\pard\\li360\\sa40 after\\par"), std::string::npos);
  EXPECT_NE(rtf.find("1.\\tab first\\par"), std::string::npos);
  EXPECT_NE(rtf.find("2.\\tab second\\par"), std::string::npos);
}

TEST(HelpRtf, InlineFormattingLinksAndEscapes) {
  const std::string rtf = HtmlToRtf(
      "<p><b>bold</b> <code>c:\\x {y}</code> <a href=\"#usage\">Using</a> "
      "<a href=\"https://example.org/a\">https://example.org/a</a> "
      "<a href=\"https://example.org/b\">site</a></p>");
  EXPECT_NE(rtf.find("{\\b bold}"), std::string::npos);
  EXPECT_NE(rtf.find("{\\f1 c:\\\\x \\{y\\}}"), std::string::npos);
  // Addresses stay as text for the viewer's own link detection, once each.
  EXPECT_NE(rtf.find(" Using https://example.org/a site (https://example.org/b)\\par"),
            std::string::npos);
  EXPECT_EQ(rtf.find("example.org/a", rtf.find("example.org/a") + 1), std::string::npos);
}

TEST(HelpRtf, NonAsciiAsUnicodeEscapes) {
  const std::string rtf = HtmlToRtf("<p>&copy; caf\xC3\xA9 &#8211; &lt;x&gt; \xF0\x9F\x98\x80</p>");
  EXPECT_NE(rtf.find("\\u169? caf\\u233? \\u8211? <x> \\u-10179?\\u-8704?"), std::string::npos)
      << rtf;
  for (const char c : rtf) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(HelpRtf, TableRowsDeclareTheirCells) {
  const std::string rtf = HtmlToRtf(
      "<table><tr><th>Part</th><th>Rights</th></tr><tr><td>a</td><td>b</td></tr></table>");
  EXPECT_NE(rtf.find("\\cellx4800\\clbrdrt"), std::string::npos);
  EXPECT_NE(rtf.find("\\pard\\intbl {\\b Part}\\cell \\pard\\intbl {\\b Rights}\\cell \\row"),
            std::string::npos);
  EXPECT_NE(rtf.find("\\pard\\intbl a\\cell \\pard\\intbl b\\cell \\row"), std::string::npos);
}

TEST(HelpRtf, PictureFromTheIconsBitmap) {
  auto little = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int k = 0; k < bytes; ++k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
    return out;
  };
  // One 2-pixel image: header (height doubled for the mask), four BGRA pixels, the mask.
  const std::string header = little(40, 4) + little(2, 4) + little(4, 4) + little(1, 2) +
                             little(32, 2) + std::string(24, '\0');
  const std::string pixels = std::string("\x10\x20\x30\xff", 4) + std::string("\0\0\0\0", 4) +
                             std::string("\0\0\0\x80", 4) + std::string("\x01\x02\x03\xff", 4);
  const std::string image = header + pixels + std::string(8, '\0');
  const std::string ico = little(0, 2) + little(1, 2) + little(1, 2) + little(2, 1) + little(2, 1) +
                          std::string(6, '\0') +
                          little(static_cast<std::uint32_t>(image.size()), 4) + little(22, 4) +
                          image;
  const std::string dib = DibFromIcon(ico, 2);
  ASSERT_EQ(dib.size(), 40u + 16u);
  EXPECT_EQ(dib.substr(8, 4), little(2, 4));  // the mask's half of the height gone
  // Laid on white: opaque kept, transparent white, half transparent black grey.
  EXPECT_EQ(dib.substr(40),
            std::string("\x10\x20\x30\0\xff\xff\xff\0\x7f\x7f\x7f\0\x01\x02\x03\0", 16));
  EXPECT_EQ(DibFromIcon(ico, 48), "");
  EXPECT_EQ(DibFromIcon(ico.substr(0, 40), 2), "");  // an image running past the end

  const std::string rtf =
      HtmlToRtf("<p align=\"center\"><img src=\"qrc:/icon.svg\" width=\"2\" height=\"2\"></p>",
                {{"icon.svg", ico}});
  EXPECT_NE(rtf.find("{\\pict\\dibitmap0\\picw2\\pich2\\picwgoal30\\pichgoal30\n28000000"),
            std::string::npos)
      << rtf;
  EXPECT_EQ(
      HtmlToRtf("<p><img src=\"other.png\" width=\"2\"></p>", {{"icon.svg", ico}}).find("\\pict"),
      std::string::npos);
}

TEST(HelpRtf, TheProgramsHelpKeepsItsSections) {
  std::ifstream file(QUORVANE_HELP_HTML, std::ios::binary);
  ASSERT_TRUE(file);
  std::ostringstream html;
  html << file.rdbuf();
  const std::string rtf = HtmlToRtf(html.str());
  std::size_t at = 0;
  for (const char* heading :
       {"Features", "Contents of the report", "Installation", "Using the program",
        "Access requirements", "Client requirements", "SQL Server requirements", "Troubleshooting",
        "Licence agreement", "Change history"}) {
    at = rtf.find(std::string("\\cf1 ") + heading + "}", at);
    ASSERT_NE(at, std::string::npos) << heading;
  }
  EXPECT_NE(rtf.find("https://github.com/sponsors/quorvane"), std::string::npos);
  EXPECT_EQ(rtf.find('<'), std::string::npos);  // no markup left over
}

}  // namespace
}  // namespace quorvane::help
