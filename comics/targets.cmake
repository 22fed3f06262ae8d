# Comic archives: the portable cores (names, ZIP directory, extraction, sniffers,
# page order and sizes, heap) build in every mode; their tests and fuzz targets
# only natively.
set(COMICS_PORTABLE_SOURCES
  ${CMAKE_SOURCE_DIR}/comics/memory.cpp
  ${CMAKE_SOURCE_DIR}/comics/names.cpp
  ${CMAKE_SOURCE_DIR}/comics/zip.cpp
  ${CMAKE_SOURCE_DIR}/comics/extract.cpp
  ${CMAKE_SOURCE_DIR}/comics/sniff.cpp
  ${CMAKE_SOURCE_DIR}/comics/archive.cpp)
list(APPEND BRISA_PORTABLE_SOURCES ${COMICS_PORTABLE_SOURCES})

if(BRISA_MODE STREQUAL native)
  list(APPEND BRISA_NATIVE_TESTS
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_names_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_zip_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_extract_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_sniff_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_archive_test.cpp)
endif()

# Fuzz targets compile the comic sources themselves so that they carry the
# fuzzer's coverage instrumentation; inflate and the rest come from brisa_portable.
if(BRISA_MODE STREQUAL native AND BRISA_FUZZ)
  foreach(target fuzz_zip fuzz_sniff)
    add_executable(${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/${target}.cpp ${COMICS_PORTABLE_SOURCES})
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${target} PRIVATE brisa_portable)
  endforeach()
endif()
