# The studio's model: track texts as documents, and the edits made to them, free
# of the window so that tests drive it directly.
add_library(studio_model STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/track_document.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/edit_model.cpp)
target_link_libraries(studio_model PUBLIC tracks PRIVATE track_text files presentation)
