# The studio's clock and views on made-up times and sizes, and its sound on
# SDL's disk driver, which plays into a file at a device's pace.
add_executable(studio_clock_test
  ${CMAKE_CURRENT_SOURCE_DIR}/transport_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/render_size_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/timeline_view_test.cpp)
target_link_libraries(studio_clock_test PRIVATE studio_clock GTest::gtest_main)
gtest_discover_tests(studio_clock_test PROPERTIES ENVIRONMENT "${ZIRBELON_TEST_ENVIRONMENT}")

add_executable(studio_audio_test ${CMAKE_CURRENT_SOURCE_DIR}/studio_audio_test.cpp)
target_link_libraries(studio_audio_test PRIVATE studio_audio GTest::gtest_main)
gtest_discover_tests(studio_audio_test PROPERTIES ENVIRONMENT "${ZIRBELON_TEST_ENVIRONMENT}")
