# Turns a text file into a C++ source defining it as a zero-terminated char array:
#   cmake -DINPUT=in.glsl -DOUTPUT=out.cpp -DSYMBOL=name -P embed.cmake
file(READ "${INPUT}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; edit that file instead.\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = {${bytes}0x00};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
