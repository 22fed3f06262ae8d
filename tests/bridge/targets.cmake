# The test bridge (Linux build only): pdfium.dll for running the real Brisa.exe
# under Wine with libpdfium.so, and its unit tests. Never installed or shipped.
# winegcc writes the DLL as pdfium.dll.so; Wine loads it under its own name,
# hence the copy.
set(BRIDGE_DIR ${CMAKE_BINARY_DIR}/bridge)
add_library(pdfium_bridge SHARED ${CMAKE_SOURCE_DIR}/tests/bridge/bridge.cpp ${PDFIUM_BRIDGE_WRAPPERS})
set_target_properties(pdfium_bridge PROPERTIES OUTPUT_NAME pdfium PREFIX "" SUFFIX ".dll"
  LIBRARY_OUTPUT_DIRECTORY ${BRIDGE_DIR})
target_link_options(pdfium_bridge PRIVATE ${PDFIUM_BRIDGE_EXPORTS} "-Wl,-rpath,$ORIGIN")
target_link_libraries(pdfium_bridge PRIVATE pdfium gdi32)
set_property(TARGET pdfium_bridge APPEND PROPERTY LINK_DEPENDS ${PDFIUM_BRIDGE_EXPORTS})
add_custom_command(TARGET pdfium_bridge POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${BRIDGE_DIR}/pdfium.dll.so ${BRIDGE_DIR}/pdfium.dll
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PDFIUM_DIR}/libpdfium.so ${BRIDGE_DIR}/libpdfium.so)

# The awkward exports, called as Brisa.exe calls them: through GetProcAddress
# with Windows' convention and types.
add_executable(bridge_tests ${CMAKE_SOURCE_DIR}/tests/bridge/bridge_test.cpp)
target_link_options(bridge_tests PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(bridge_tests PRIVATE GTest::gtest GTest::gtest_main gdi32)
target_compile_definitions(bridge_tests PRIVATE BRIDGE_DLL="${BRIDGE_DIR}/pdfium.dll" PDFIUM_DEF="${PDFIUM_DEF}")
add_dependencies(bridge_tests pdfium_bridge)
add_test(NAME bridge_tests COMMAND bridge_tests)
set_tests_properties(bridge_tests PROPERTIES TIMEOUT 120)
