# cmake -DOUTPUT=... -DENGLISH=en.mo -DJAPANESE=ja.mo -P EmbedCatalogues.cmake
# The compiled catalogues as byte arrays, so that the programs carry their
# translations with them.
set(_text "// Generated from po/*.po by cmake/EmbedCatalogues.cmake; do not edit.\n#include <cstddef>\n\nnamespace velmora {\n")
foreach(_pair "English;${ENGLISH}" "Japanese;${JAPANESE}")
  list(GET _pair 0 _name)
  list(GET _pair 1 _file)
  file(READ ${_file} _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" _bytes "${_bytes}")
  string(APPEND _text "extern const unsigned char kCatalogue${_name}[] = {\n${_bytes}\n};\n")
  string(APPEND _text "extern const std::size_t kCatalogue${_name}Size = sizeof kCatalogue${_name};\n")
endforeach()
string(APPEND _text "} // namespace velmora\n")
file(WRITE ${OUTPUT}.new "${_text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
