list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/thumbs/layout.cpp ${CMAKE_SOURCE_DIR}/thumbs/outline.cpp)
list(APPEND BRISA_WINDOWS_SOURCES
  ${CMAKE_SOURCE_DIR}/thumbs/thumbs.cpp
  ${CMAKE_SOURCE_DIR}/thumbs/render.cpp
  ${CMAKE_SOURCE_DIR}/thumbs/outlinepanel.cpp)
list(APPEND BRISA_NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/unit/thumbs_geometry_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/thumbs_cache_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/outline_test.cpp)
list(APPEND BRISA_INPROC_TESTS ${CMAKE_SOURCE_DIR}/tests/inproc/thumbs_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/inproc/outline_test.cpp)
