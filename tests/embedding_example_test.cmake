# The README's embedding example is docs/embedding_example.cpp word for word,
# and the program built from it writes a whole 160 x 120 picture.
# Usage: cmake -DEXAMPLE=program -DSOURCE=file.cpp -DREADME=README.md -DOUT=file.ppm -P this
file(READ ${SOURCE} source)
file(READ ${README} readme)
string(FIND "${readme}" "```cpp\n${source}```\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show ${SOURCE} as it is")
endif()
file(REMOVE ${OUT})
execute_process(COMMAND ${EXAMPLE} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the example ended with ${status}")
endif()
file(SIZE ${OUT} size)
math(EXPR want "15 + 160 * 120 * 3")  # "P6\n160 120\n255\n" and the pixels
if(NOT size EQUAL want)
  message(FATAL_ERROR "the example wrote ${size} bytes, not ${want}")
endif()
