// help_to_rtf INPUT.html OUTPUT.rtf [NAME=ICON.ico]...: runs on the build machine, also when
// cross-compiling. Each NAME=ICON.ico puts the icon's image of the asked width where the
// document shows a picture whose source ends in NAME.
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "help_rtf.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: help_to_rtf INPUT.html OUTPUT.rtf [NAME=ICON.ico]...\n";
    return 2;
  }
  auto read = [](const std::string& path) -> std::optional<std::string> {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  };
  const std::optional<std::string> html = read(argv[1]);
  if (!html) {
    std::cerr << "help_to_rtf: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::vector<quorvane::help::Picture> pictures;
  for (int i = 3; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::size_t equals = argument.find('=');
    const std::optional<std::string> ico =
        equals == std::string::npos ? std::nullopt : read(argument.substr(equals + 1));
    if (!ico) {
      std::cerr << "help_to_rtf: cannot read the icon of " << argument << "\n";
      return 1;
    }
    pictures.push_back({argument.substr(0, equals), *ico});
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << quorvane::help::HtmlToRtf(*html, pictures);
  out.close();
  if (!out) {
    std::cerr << "help_to_rtf: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
