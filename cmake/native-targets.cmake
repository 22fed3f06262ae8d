# The portable cores as one library, and one test binary of every native test.
add_library(brisa_portable STATIC ${BRISA_PORTABLE_SOURCES})
target_link_libraries(brisa_portable PUBLIC pdfium)
if(BRISA_NATIVE_TESTS AND NOT BRISA_FUZZ)
  add_executable(native_tests ${BRISA_NATIVE_TESTS})
  target_link_libraries(native_tests PRIVATE brisa_portable GTest::gtest GTest::gtest_main ZLIB::ZLIB)
  gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)
endif()
