# Writes OUT, a C++ file defining `const char NAME[]` with the bytes of IN.
# Usage: cmake -DIN=file -DOUT=file.cpp -DNAME=symbol -P embed_text.cmake
file(READ ${IN} bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
string(REGEX REPLACE "(([^,]*,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT}.new "// Generated from ${IN}.\nextern const char ${NAME}[];\nextern const unsigned long ${NAME}_size;\nconst char ${NAME}[] = {\n${bytes}0};\nconst unsigned long ${NAME}_size = sizeof ${NAME} - 1;\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
