list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/base/commandline.cpp)
list(APPEND BRISA_WINDOWS_SOURCES
  ${CMAKE_SOURCE_DIR}/base/base.cpp
  ${CMAKE_SOURCE_DIR}/base/fonts.cpp
  ${CMAKE_SOURCE_DIR}/base/settings.cpp)
list(APPEND BRISA_NATIVE_TESTS ${CMAKE_SOURCE_DIR}/tests/unit/commandline_test.cpp)
