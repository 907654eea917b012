# zirbelon-web: the page zirbelon.html, built by Debian's Emscripten in
# web/ under this build from the same sources, with this build's stage folder
# (the tune and the track files) and its generated title text:
#   cmake --build build/release --target zirbelon-web   ->  build/release/web/zirbelon.html
# Defined only where emcmake is found (scripts/setup installs emscripten).
find_program(EMCMAKE emcmake)
find_file(EMSCRIPTEN_TOOLCHAIN Emscripten.cmake
          PATHS /usr/share/emscripten/cmake/Modules/Platform NO_DEFAULT_PATH)
if(NOT EMCMAKE OR NOT EMSCRIPTEN_TOOLCHAIN)
  message(STATUS "No Emscripten: the page zirbelon.html is not built")
  return()
endif()

set(WEB_BUILD ${CMAKE_BINARY_DIR}/web)
# emcc runs Debian's Node.js tools (acorn), which another Node.js first on PATH
# would not find.
set(web_env ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
add_custom_target(zirbelon-web
  COMMAND ${web_env} ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${WEB_BUILD}
          -DCMAKE_TOOLCHAIN_FILE=${EMSCRIPTEN_TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
          -DZIRBELON_WERROR=${ZIRBELON_WERROR} -DZIRBELON_HOST_BUILD=${CMAKE_BINARY_DIR}
  COMMAND ${web_env} ${CMAKE_COMMAND} --build ${WEB_BUILD}
  COMMENT "Building the page zirbelon.html"
  VERBATIM
  USES_TERMINAL)
# The stage's content and the generated title text come from this build.
add_dependencies(zirbelon-web stage_assets shaders)
