# Script mode: turns a text document into a C++ source that defines it as a
# null-terminated character array, splicing in every file named by a line
# "@include FILE@" (FILE relative to the document's folder). Shade-fragment
# documents keep their shader source in files of their own this way, and the
# library still carries one document: exactly the text the host receives.
#
#   cmake -DINPUT=doc.xml -DOUTPUT=doc.cpp -DSYMBOL=name -DNAMESPACE=ns -P EmbedText.cmake

file(READ "${INPUT}" text)
get_filename_component(folder "${INPUT}" DIRECTORY)
while(text MATCHES "@include ([^@\n]+)@")
  set(name "${CMAKE_MATCH_1}")
  if(NOT EXISTS "${folder}/${name}")
    message(FATAL_ERROR "${INPUT}: included file ${name} not found")
  endif()
  file(READ "${folder}/${name}" included)
  string(REPLACE "@include ${name}@" "${included}" text "${text}")
endwhile()

# Through a file, since only file(READ) gives hexadecimal.
file(WRITE "${OUTPUT}.txt" "${text}")
file(READ "${OUTPUT}.txt" hex HEX)
file(REMOVE "${OUTPUT}.txt")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT}; edit that file instead.\n"
  "namespace ${NAMESPACE} {\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = {\n  ${bytes}0x00};\n"
  "}\n")
