#pragma once

#include <string>
#include <vector>

namespace quorvane::cli {

// The arguments after the program name, in UTF-8. Windows hands main() its arguments in the ANSI
// code page, which cannot hold every file or server name; there they are read as UTF-16 instead.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the program's UTF-8 output as UTF-8 (Windows; elsewhere it already
// does), restoring the console's code page at exit.
void UseUtf8Console();

}  // namespace quorvane::cli
