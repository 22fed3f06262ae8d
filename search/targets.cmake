list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/search/find.cpp ${CMAKE_SOURCE_DIR}/search/joined.cpp)
list(APPEND BRISA_WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/search/searchbox.cpp)
list(APPEND BRISA_NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/unit/search_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/search_joined_test.cpp)
if(BRISA_MODE STREQUAL native AND NOT BRISA_FUZZ)
  add_executable(search_bench ${CMAKE_SOURCE_DIR}/bench/search_bench.cpp)
  target_link_libraries(search_bench PRIVATE brisa_portable)
endif()
