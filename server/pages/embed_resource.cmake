# Run as a script: cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=Name -P embed_resource.cmake
# Writes a C++ source whose function embedded::SYMBOL() returns the bytes of INPUT.
file(READ "${INPUT}" hex HEX)
# Sixteen bytes a line; every pair of hex digits becomes one initializer.
string(REPEAT "[0-9a-f]" 32 line_of_hex)
string(REGEX REPLACE "(${line_of_hex})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated at build time from ${INPUT}.\n"
  "#include <string_view>\n\n"
  "namespace embedded {\n"
  "namespace {\n"
  "// The file's bytes and a zero that keeps the array non-empty for an empty file.\n"
  "const unsigned char kBytes[] = {\n${bytes}0x00};\n"
  "}  // namespace\n\n"
  "std::string_view ${SYMBOL}() {\n"
  "  return {reinterpret_cast<const char*>(kBytes), sizeof kBytes - 1};\n"
  "}\n"
  "}  // namespace embedded\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
