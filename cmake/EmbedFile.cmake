# Script mode: writes OUTPUT, a C++ source that returns the bytes of INPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE "${OUTPUT}"
"// Generated from ${INPUT}; do not edit.\n#include <string_view>\n"
"namespace quorvane::resources {\nnamespace {\nconstexpr char kData[] = {${bytes} '\\0'};\n}\n"
"std::string_view ${NAME}() { return std::string_view(kData, ${size}); }\n}\n")
