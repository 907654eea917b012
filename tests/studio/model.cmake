# The studio's model: documents that keep every comment, edits and their undo,
# and saves that match what zirbelon-tracks build makes of the same text.
add_executable(studio_model_test
  ${CMAKE_CURRENT_SOURCE_DIR}/track_document_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/edit_model_test.cpp)
target_link_libraries(studio_model_test PRIVATE studio_model track_text presentation GTest::gtest_main)
target_compile_definitions(studio_model_test PRIVATE
  ZIRBELON_ASSETS_DIR="${PROJECT_SOURCE_DIR}/assets"
  ZIRBELON_TRACKS="$<TARGET_FILE:zirbelon-tracks>")
add_dependencies(studio_model_test zirbelon-tracks)
gtest_discover_tests(studio_model_test PROPERTIES ENVIRONMENT "${ZIRBELON_TEST_ENVIRONMENT}")
