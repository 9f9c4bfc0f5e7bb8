// help_to_rtf INPUT.html OUTPUT.rtf: runs on the build machine, also when cross-compiling.
#include <fstream>
#include <iostream>
#include <sstream>

#include "help_rtf.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: help_to_rtf INPUT.html OUTPUT.rtf\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "help_to_rtf: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream html;
  html << in.rdbuf();
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << quorvane::help::HtmlToRtf(html.str());
  out.close();
  if (!out) {
    std::cerr << "help_to_rtf: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
