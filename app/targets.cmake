list(APPEND BRISA_WINDOWS_SOURCES
  ${CMAKE_SOURCE_DIR}/app/frame.cpp
  ${CMAKE_SOURCE_DIR}/app/commands.cpp
  ${CMAKE_SOURCE_DIR}/app/gotopage.cpp
  ${CMAKE_SOURCE_DIR}/app/presentation.cpp
  ${CMAKE_SOURCE_DIR}/app/autoreload.cpp)
