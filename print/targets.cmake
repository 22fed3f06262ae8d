# Printing: the page-range, placement and quarter-turn arithmetic is portable;
# the dialog, the job and the drawing need the Windows API.
list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/print/sheet.cpp)
list(APPEND BRISA_WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/print/print.cpp)
list(APPEND BRISA_NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/unit/print_range_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/print_sheet_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/print_turn_test.cpp)
list(APPEND BRISA_INPROC_TESTS ${CMAKE_SOURCE_DIR}/tests/inproc/print_test.cpp)
