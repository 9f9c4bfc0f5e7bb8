#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/report_buffer.h"
#include "report/resources.h"

namespace quorvane::report {
namespace {

std::vector<std::string> TemplateLines() {
  ReportBuffer buffer;
  buffer.Load(LoadResource("resource_basehtml"));  // names match without regard to case
  return buffer.Entries();
}

TEST(ReportTemplate, IsAsciiWithCrLfAfterEveryLineAndNoTabs) {
  const std::string_view text = LoadResource("Resource_BaseHTML");
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    ASSERT_LT(c, 0x80u) << "at byte " << i;
    ASSERT_NE(c, '\t') << "at byte " << i;
    if (c == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
    }
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at byte " << i;
    }
  }
}

TEST(ReportTemplate, HasTheFixedLineLayout) {
  const std::vector<std::string> lines = TemplateLines();
  ASSERT_EQ(lines.size(), 217u);
  auto line = [&lines](int n) { return lines[static_cast<std::size_t>(n - 1)]; };
  EXPECT_EQ(line(1),
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" "
            "\"http://www.w3.org/TR/html4/strict.dtd\">");
  EXPECT_EQ(line(2), "<HTML>");
  EXPECT_EQ(line(3).rfind("<!--", 0), 0u);
  EXPECT_EQ(line(4), "<HEAD>");
  EXPECT_EQ(line(5), "<TITLE>SQL Server Quorvane</TITLE>");
  EXPECT_EQ(line(6), "<META http-equiv=Content-Type content=\"text/html; charset=utf-8\">");
  EXPECT_EQ(line(7).rfind("<META name=", 0), 0u);
  EXPECT_EQ(line(8).rfind("<META name=", 0), 0u);
  EXPECT_EQ(line(9), "<STYLE type=\"text/css\">");
  EXPECT_EQ(line(72), "</STYLE>");
  EXPECT_EQ(line(73), "</HEAD>");
  EXPECT_EQ(line(74), "<BODY>");
  EXPECT_EQ(line(75), "<script type=\"text/javascript\">");
  EXPECT_EQ(line(156), "");
  EXPECT_EQ(line(157), "<!--");
  EXPECT_EQ(line(213), "");
  EXPECT_EQ(line(214), "buildMenu();");
  EXPECT_EQ(line(215), "");
  EXPECT_EQ(line(216), "//-->");
  EXPECT_EQ(line(217), "</script>");
}

TEST(ReportTemplate, StyleSheetRulesInOrder) {
  const std::vector<std::string> lines = TemplateLines();
  std::vector<std::string> sheet(lines.begin() + 9, lines.begin() + 71);  // lines 10 to 71
  const std::vector<std::pair<std::string, std::vector<std::string>>> rules = {
      {"body",
       {"background-color: white;", "font-family: Arial, Sans-Serif;", "font-size: 12px;",
        "margin-left: 30px;"}},
      {"h1", {"color: blue;"}},
      {"h2",
       {"font-size: 18px;", "font-weight: bold;", "color: white;", "border: 2px solid #1A50B8;",
        "background-color: #0000FF;"}},
      {"h3", {"font-size: 16px;", "color: purple;"}},
      {".SQLtable", {"border-style: none;", "border-collapse: collapse;"}},
      {".SQLtable th",
       {"font-size: 12px;", "text-align: left;", "border-style: solid solid solid solid;",
        "border-color: #CCCCCC #CCCCCC #CCCCCC #CCCCCC;", "border-width: 1px 1px 1px 1px;",
        "padding: 2px 2px 2px 2px;", "background-color: #FFFF99;"}},
      {".SQLtable td",
       {"font-size: 12px;", "border-style: solid solid solid solid;",
        "border-color: #CCCCCC #CCCCCC #CCCCCC #CCCCCC;", "border-width: 1px 1px 1px 1px;",
        "padding: 2px 2px 2px 2px;", "background-color: rgb(255, 255, 240);"}},
      {".CopyrightLine", {"font-size: 10px;", "color: blue;"}},
      {".ExceptionError", {"color: red;", "font-weight: bold;"}}};
  std::size_t at = 0;
  for (const auto& [selector, declarations] : rules) {
    ASSERT_LT(at, sheet.size());
    EXPECT_EQ(sheet[at++], selector + " {");
    for (const auto& d : declarations) {
      ASSERT_LT(at, sheet.size());
      // One declaration per line; indentation is free.
      EXPECT_EQ(sheet[at].substr(sheet[at].find_first_not_of(' ')), d) << selector;
      ++at;
    }
    EXPECT_EQ(sheet[at++], "}");
    EXPECT_EQ(sheet[at++], "");
  }
  for (const char* link :
       {"A.ssmItems:link", "A.ssmItems:hover", "A.ssmItems:active", "A.ssmItems:visited"}) {
    ASSERT_LT(at, sheet.size());
    EXPECT_EQ(sheet[at++], std::string(link) + " {color:black;text-decoration:none;}");
  }
  EXPECT_EQ(at, sheet.size());
}

TEST(ReportTemplate, MenuConfigurationAndItems) {
  const std::vector<std::string> lines = TemplateLines();
  std::string config;
  for (std::size_t i = 157; i < 212; ++i) config += lines[i] + "\n";  // lines 158 to 212
  for (const char* setting : {"var YOffset = 150;",
                              "var XOffset = 0;",
                              "var staticYOffset = 30;",
                              "var slideSpeed = 20;",
                              "var waitTime = 100;",
                              "var menuBGColor = \"black\";",
                              "var menuIsStatic = \"yes\";",
                              "var menuWidth = 180;",
                              "var menuCols = 2;",
                              "var hdrFontFamily = \"verdana\";",
                              "var hdrFontSize = \"2\";",
                              "var hdrFontColor = \"white\";",
                              "var hdrBGColor = \"#800080\";",
                              "var hdrAlign = \"left\";",
                              "var hdrVAlign = \"center\";",
                              "var hdrHeight = \"15\";",
                              "var linkFontFamily = \"Verdana\";",
                              "var linkFontSize = \"2\";",
                              "var linkBGColor = \"white\";",
                              "var linkOverBGColor = \"#FFFF99\";",
                              "var linkTarget = \"_top\";",
                              "var linkAlign = \"Left\";",
                              "var barBGColor = \"#444444\";",
                              "var barFontFamily = \"Verdana\";",
                              "var barFontSize = \"2\";",
                              "var barFontColor = \"white\";",
                              "var barVAlign = \"center\";",
                              "var barWidth = 20;",
                              "var barText = \"INDEX\";"}) {
    EXPECT_NE(config.find(setting), std::string::npos) << setting;
  }
  const std::vector<std::string> items = {
      "ssmItems[0] = [\"Index\"];",
      "ssmItems[1] = [\"General Information\", \"#GeneralInformation\", \"\"];",
      "ssmItems[2] = [\"SQL Server Statistics\", \"#SQLServerStatistics\", \"\"];",
      "ssmItems[3] = [\"Scheduled Windows Jobs\", \"#ScheduledWindowsJobs\", \"\"];",
      "ssmItems[4] = [\"SQL Server Information\", \"#SQLServerInformation\", \"\"];",
      "ssmItems[5] = [\"Linked Servers\", \"#LinkedServers\", \"\"];",
      "ssmItems[6] = [\"Target Servers\", \"#TargetServers\", \"\"];",
      "ssmItems[7] = [\"Operators\", \"#Operators\", \"\"];",
      "ssmItems[8] = [\"Alerts\", \"#Alerts\", \"\"];",
      "ssmItems[9] = [\"SQL Jobs\", \"#SQLJobs\", \"\"];",
      "ssmItems[10] = [\"Database Devices\", \"#DatabaseDevices\", \"\"];",
      "ssmItems[11] = [\"Databases\", \"#Databases\", \"\"];",
      "ssmItems[12] = [\"Fixed Database Roles\", \"#FixedDatabaseRoles\", \"\"];",
      "ssmItems[13] = [\"Logins and Access Levels\", \"#LoginsandAccessLevels\", \"\"];",
      "ssmItems[14] = [\"Database Replication\", \"#Replication\", \"\"];",
      "ssmItems[15] = [\"<b>Top</b>\", \"#PageTop\", \"\", 1, \"no\"];",
      "ssmItems[16] = [\"<b>Bottom</b>\", \"#PageBottom\", \"\", 1];"};
  std::size_t previous = 0;
  for (const auto& item : items) {
    const std::size_t at = config.find(item);
    ASSERT_NE(at, std::string::npos) << item;
    EXPECT_GE(at, previous) << item;
    previous = at;
  }
  std::string functions;
  for (std::size_t i = 75; i < 155; ++i) functions += lines[i] + "\n";  // lines 76 to 155
  for (const char* name : {"truebody", "moveOut", "moveBack", "moveBack1", "slideMenu",
                           "makeStatic", "buildBar", "initSlide", "buildMenu"}) {
    EXPECT_NE(functions.find("function " + std::string(name) + "("), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace quorvane::report
