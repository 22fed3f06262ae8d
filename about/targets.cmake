list(APPEND BRISA_WINDOWS_SOURCES
  ${CMAKE_SOURCE_DIR}/about/about.cpp
  ${CMAKE_SOURCE_DIR}/about/defaultreader.cpp)
list(APPEND BRISA_INPROC_TESTS ${CMAKE_SOURCE_DIR}/tests/inproc/about_test.cpp)
