#!/usr/bin/env python3
"""Writes resources/report_template.htm from the pieces in tools/dev/template.

The template is kept byte-exact: CR LF after every line, 7-bit ASCII, no tabs, no byte-order
mark, and a fixed line layout (the menu functions on lines 76-155, the configuration on
158-212), which this script checks before it writes anything.
"""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
ADDRESS = "https://github.com/quorvane"

STYLE_RULES = [
    ("body", ["background-color: white;", "font-family: Arial, Sans-Serif;", "font-size: 12px;",
              "margin-left: 30px;"]),
    ("h1", ["color: blue;"]),
    ("h2", ["font-size: 18px;", "font-weight: bold;", "color: white;",
            "border: 2px solid #1A50B8;", "background-color: #0000FF;"]),
    ("h3", ["font-size: 16px;", "color: purple;"]),
    (".SQLtable", ["border-style: none;", "border-collapse: collapse;"]),
    (".SQLtable th", ["font-size: 12px;", "text-align: left;",
                      "border-style: solid solid solid solid;",
                      "border-color: #CCCCCC #CCCCCC #CCCCCC #CCCCCC;",
                      "border-width: 1px 1px 1px 1px;", "padding: 2px 2px 2px 2px;",
                      "background-color: #FFFF99;"]),
    (".SQLtable td", ["font-size: 12px;", "border-style: solid solid solid solid;",
                      "border-color: #CCCCCC #CCCCCC #CCCCCC #CCCCCC;",
                      "border-width: 1px 1px 1px 1px;", "padding: 2px 2px 2px 2px;",
                      "background-color: rgb(255, 255, 240);"]),
    (".CopyrightLine", ["font-size: 10px;", "color: blue;"]),
    (".ExceptionError", ["color: red;", "font-weight: bold;"]),
]
LINK_RULES = ["A.ssmItems:link", "A.ssmItems:hover", "A.ssmItems:active", "A.ssmItems:visited"]


def read_piece(name):
    return (HERE / "template" / name).read_text(encoding="ascii").rstrip("\n").split("\n")


def build():
    lines = [
        '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01//EN" "http://www.w3.org/TR/html4/strict.dtd">',
        "<HTML>",
        "<!-- SQL Server Quorvane: an inventory report of one SQL Server instance. "
        "The Quorvane team, " + ADDRESS + " -->",
        "<HEAD>",
        "<TITLE>SQL Server Quorvane</TITLE>",
        '<META http-equiv=Content-Type content="text/html; charset=utf-8">',
        '<META name="Generator" content="SQL Server Quorvane">',
        '<META name="Author" content="The Quorvane team, ' + ADDRESS + '">',
        '<STYLE type="text/css">',
    ]
    for selector, declarations in STYLE_RULES:
        lines.append(selector + " {")
        lines.extend("  " + d for d in declarations)
        lines.append("}")
        lines.append("")
    lines.extend(rule + " {color:black;text-decoration:none;}" for rule in LINK_RULES)
    lines += ["</STYLE>", "</HEAD>", "<BODY>", '<script type="text/javascript">']
    functions = read_piece("menu_functions.js")
    lines += functions
    lines += ["", "<!--"]
    config = read_piece("menu_config.js")
    lines += config
    lines += ["", "buildMenu();", "", "//-->", "</script>"]
    return lines, functions, config


def check(lines, functions, config):
    def at(n):  # 1-based
        return lines[n - 1]

    problems = []
    expect = {1: lines[0], 2: "<HTML>", 4: "<HEAD>", 9: '<STYLE type="text/css">', 72: "</STYLE>",
              73: "</HEAD>", 74: "<BODY>", 75: '<script type="text/javascript">', 156: "",
              157: "<!--", 213: "", 214: "buildMenu();", 215: "", 216: "//-->", 217: "</script>"}
    if len(lines) != 217:
        problems.append("the template has %d lines, not 217" % len(lines))
    else:
        for n, text in expect.items():
            if at(n) != text:
                problems.append("line %d is %r, not %r" % (n, at(n), text))
    if len(functions) != 80:
        problems.append("the menu functions take %d lines, not 80" % len(functions))
    if len(config) != 55:
        problems.append("the menu configuration takes %d lines, not 55" % len(config))
    for n, line in enumerate(lines, 1):
        if "\t" in line or any(ord(c) > 126 for c in line):
            problems.append("line %d has a tab or a character outside 7-bit ASCII" % n)
    return problems


def main():
    lines, functions, config = build()
    problems = check(lines, functions, config)
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    out = ROOT / "resources" / "report_template.htm"
    data = "".join(line + "\r\n" for line in lines).encode("ascii")
    out.write_bytes(data)
    print("%s: %d lines, %d bytes" % (out.relative_to(ROOT), len(lines), len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
