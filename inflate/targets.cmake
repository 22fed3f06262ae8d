# DEFLATE decoder: a portable core, its unit tests, a libFuzzer target and a benchmark.
list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/inflate/inflate.cpp)
list(APPEND BRISA_NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/unit/inflate_edges_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/inflate_zlib_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/inflate_reference_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/inflate_reference.cpp)

if(BRISA_MODE STREQUAL native AND BRISA_FUZZ)
  # The decoder is compiled into the target itself so that libFuzzer sees its coverage.
  add_executable(fuzz_inflate
    ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_inflate.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/inflate_reference.cpp
    ${CMAKE_SOURCE_DIR}/inflate/inflate.cpp)
  target_compile_options(fuzz_inflate PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_inflate PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_inflate PRIVATE ZLIB::ZLIB)
elseif(BRISA_MODE STREQUAL native)
  find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  add_executable(bench_inflate ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp)
  target_include_directories(bench_inflate PRIVATE ${LIBDEFLATE_INCLUDE_DIR})
  target_link_libraries(bench_inflate PRIVATE brisa_portable ZLIB::ZLIB ${LIBDEFLATE_LIBRARY})
endif()
