# The studio's clock and views, free of any device (they take only the tempo's
# constants from presentation/presentation.h), and its sound on SDL2.
add_library(studio_clock STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/transport.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/render_size.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/timeline_view.cpp)

# The platform's imported targets are visible only below platform/linux.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::SDL2)
  pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
endif()
if(NOT TARGET PkgConfig::ALSA)
  pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
endif()

add_library(studio_audio STATIC ${CMAKE_CURRENT_SOURCE_DIR}/studio_audio.cpp)
target_link_libraries(studio_audio PUBLIC studio_clock tune PRIVATE audio_clock PkgConfig::SDL2 PkgConfig::ALSA)
