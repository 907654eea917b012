# The libraries a Linux desktop with a GL driver always has, as the regular
# expression system_set over sonames: glibc, the GL driver (with Mesa's libdrm
# and libgbm, which the driver itself loads), the X11 and Wayland client
# libraries, ALSA and PulseAudio. The portable folder bundles every other
# library it needs (bundle-libs.sh) and its test checks the same set.
#   source system-set.sh
system_libraries=(
  libc libm libdl libpthread librt ld-linux-x86-64
  libGL libOpenGL libGLX libEGL libGLdispatch libdrm libgbm
  libX11 libX11-xcb libXext libXcursor libXi libXfixes libXrandr libXrender libXss libXinerama 'libxcb[-a-z0-9]*'
  libwayland-client libwayland-cursor libwayland-egl libxkbcommon
  libasound libpulse
)
system_set="^($(IFS='|'; echo "${system_libraries[*]}"))\\.so\\."
