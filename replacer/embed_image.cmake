# Writes a C++ source that carries a program's image byte for byte:
#   cmake -DINPUT=program -DOUTPUT=image.cc -P embed_image.cmake
# The bytes go into string literals of hex escapes, which the compiler reads far
# faster than a list of numbers; the array holds one zero more than the image.
file(SIZE "${INPUT}" size)
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" hex "${hex}")
file(WRITE "${OUTPUT}.part"
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include \"launcher/replacer_image.h\"\n\n"
  "extern const unsigned char g_replacerImage[${size} + 1] =\n"
  "    \"${hex}\";\n"
  "extern const uint32_t g_replacerImageSize = ${size};\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
