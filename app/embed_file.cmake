# Turns the bytes of INPUT into a C++ source OUTPUT that defines
#   const unsigned char SYMBOL[]; const std::size_t SYMBOL_size;
# in namespace etherm. Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Twenty bytes a line keeps the generated file readable.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include <cstddef>\n\n"
  "namespace etherm {\n"
  "extern const unsigned char ${SYMBOL}[] = {\n  ${bytes}\n};\n"
  "extern const std::size_t ${SYMBOL}_size = ${byte_count};\n"
  "}  // namespace etherm\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
