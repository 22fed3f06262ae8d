list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/app/commandline.cpp)
list(APPEND BRISA_WINDOWS_SOURCES
  ${CMAKE_SOURCE_DIR}/app/frame.cpp
  ${CMAKE_SOURCE_DIR}/app/fonts.cpp
  ${CMAKE_SOURCE_DIR}/app/commands.cpp
  ${CMAKE_SOURCE_DIR}/app/gotopage.cpp
  ${CMAKE_SOURCE_DIR}/app/settings.cpp)
list(APPEND BRISA_NATIVE_TESTS ${CMAKE_SOURCE_DIR}/tests/unit/commandline_test.cpp)
