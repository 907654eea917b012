# Writes the page: the shell page.html with the program's script (which holds
# the WebAssembly and the embedded files) in place of @SCRIPT@.
#   cmake -DSHELL=page.html -DSCRIPT=zirbelon.js -DOUTPUT=zirbelon.html -P page.cmake
cmake_minimum_required(VERSION 3.25)
file(READ "${SHELL}" shell)
file(READ "${SCRIPT}" script)
# A script element ends at the first "</script", wherever it stands.
string(FIND "${script}" "</script" closing)
if(NOT closing EQUAL -1)
  message(FATAL_ERROR "page.cmake: ${SCRIPT} holds \"</script\" and cannot be put in a page")
endif()
string(REPLACE "@SCRIPT@" "${script}" page "${shell}")
file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
