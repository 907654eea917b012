# The studio for real on a virtual display, driven with xdotool.
add_test(NAME studio_e2e
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/studio_e2e.sh $<TARGET_FILE:zirbelon-studio> $<TARGET_FILE:zirbelon-render>
          $<TARGET_FILE:zirbelon-tracks> ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/shaders/title.glsl
          ${CMAKE_CURRENT_BINARY_DIR}/e2e)
# The studio leaves nothing behind, but the X, GL and audio libraries hold
# memory at exit that a leak check would report, as for the presentation.
set_tests_properties(studio_e2e PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
