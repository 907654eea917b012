# The portable Linux folder zirbelon-VERSION-linux-x86_64 in the build folder:
# the presentation with its tune and tracks, and lib/ with the shared libraries
# a fresh desktop may lack (bundle-libs.sh and system-set.sh say which), found through an
# $ORIGIN rpath. The C++ runtime is linked in, so the folder needs no
# particular libstdc++. The rpath is the old kind (DT_RPATH): unlike RUNPATH it
# also serves the bundled libraries' own dependencies.
set(ZIRBELON_PORTABLE_DIR ${CMAKE_BINARY_DIR}/zirbelon-${PROJECT_VERSION}-linux-x86_64)

add_executable(zirbelon_portable ${PROJECT_SOURCE_DIR}/intro/main.cpp arc4random.c)
target_link_libraries(zirbelon_portable PRIVATE intro platform_sdl audio_linux)
target_link_options(zirbelon_portable PRIVATE -static-libstdc++ -static-libgcc -s "LINKER:--disable-new-dtags")
set_target_properties(zirbelon_portable PROPERTIES
  OUTPUT_NAME zirbelon
  RUNTIME_OUTPUT_DIRECTORY ${ZIRBELON_PORTABLE_DIR}
  BUILD_RPATH "\$ORIGIN/lib")

set(portable_stamp ${CMAKE_CURRENT_BINARY_DIR}/portable.stamp)
add_custom_command(OUTPUT ${portable_stamp}
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/bundle-libs.sh $<TARGET_FILE:zirbelon_portable> ${ZIRBELON_PORTABLE_DIR}/lib
  COMMAND ${CMAKE_COMMAND} -DFROM=${CMAKE_BINARY_DIR}/stage -DTO=${ZIRBELON_PORTABLE_DIR}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/copy-content.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${portable_stamp}
  DEPENDS zirbelon_portable stage_assets ${CMAKE_CURRENT_SOURCE_DIR}/bundle-libs.sh
          ${CMAKE_CURRENT_SOURCE_DIR}/system-set.sh
          ${CMAKE_CURRENT_SOURCE_DIR}/copy-content.cmake
  COMMENT "Assembling the portable folder"
  VERBATIM)
add_custom_target(portable ALL DEPENDS ${portable_stamp})
