# The Debian package zirbelon_VERSION_ARCH.deb (`cpack -G DEB` in the build
# folder): the install layout under /usr, its Depends found by dpkg-shlibdeps.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT deb_arch)
  set(deb_arch amd64)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zirbelon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zirbelon developers <zirbelon@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual presentation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zirbelon takes the screen at 1920x1080, plays one piece of music and computes\n"
    "every pixel of every frame in GLSL fragment shaders: a ray-marched block\n"
    "landscape and the animated title word ZIRBELON, driven by the music clock.\n"
    "Escape or Alt+F4 ends it. With its tools zirbelon-render (frames, videos and\n"
    "contact sheets without a display), zirbelon-tracks, zirbelon-synth and\n"
    "zirbelon-studio.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_FILE_NAME zirbelon_${PROJECT_VERSION}_${deb_arch}.deb)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# zirbelon-render video runs ffmpeg; everything else works without it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
