# The program: the window, GL and ImGui around the models, with Debian's Dear
# ImGui and its SDL2 and OpenGL 2 backends, which Debian ships as sources.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::SDL2)
  pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
endif()
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
find_package(OpenGL REQUIRED)

set(imgui_backends /usr/share/doc/libimgui-dev/examples/backends)
add_library(imgui_backends STATIC ${imgui_backends}/imgui_impl_sdl.cpp ${imgui_backends}/imgui_impl_opengl2.cpp)
target_include_directories(imgui_backends SYSTEM PUBLIC /usr/include/imgui/backends)
target_link_libraries(imgui_backends PUBLIC PkgConfig::IMGUI PkgConfig::SDL2 OpenGL::GL)
# Debian's sources, not ours: their warnings are not ours to fix.
target_compile_options(imgui_backends PRIVATE -w)

add_library(studio_view STATIC ${CMAKE_CURRENT_SOURCE_DIR}/scene_view.cpp ${CMAKE_CURRENT_SOURCE_DIR}/file_watch.cpp
                               ${CMAKE_CURRENT_SOURCE_DIR}/video_job.cpp ${CMAKE_CURRENT_SOURCE_DIR}/studio_options.cpp)
target_link_libraries(studio_view PUBLIC presentation shaders gl_frame cli OpenGL::GL PRIVATE util)
target_compile_definitions(studio_view PRIVATE ZIRBELON_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               ZIRBELON_BUILD_DIR="${PROJECT_BINARY_DIR}")

add_executable(zirbelon-studio ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp ${CMAKE_CURRENT_SOURCE_DIR}/studio_app.cpp
                               ${CMAKE_CURRENT_SOURCE_DIR}/studio_ui.cpp ${CMAKE_CURRENT_SOURCE_DIR}/studio_keys.cpp)
target_link_libraries(zirbelon-studio PRIVATE studio_view studio_model studio_clock studio_audio imgui_backends
                                              track_plot track_text png_file files tune)
