# embed_file(OUT_CPP INPUT SYMBOL): writes a C++ source defining
#   extern const unsigned char SYMBOL[]; extern const std::size_t SYMBOL_size;
# in namespace penvora::core::engine, so the core carries the file without Qt.
function(embed_file out input symbol)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
  file(READ ${input} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
  file(WRITE ${out}.tmp "// Generated from ${input}; do not edit.\n#include <cstddef>\nnamespace penvora::core::engine {\nextern const unsigned char ${symbol}[] = {\n${bytes}\n};\nextern const std::size_t ${symbol}_size = ${size};\n}\n")
  configure_file(${out}.tmp ${out} COPYONLY)
endfunction()
