# The Linux build's own unrar.dll: the UnRAR library's five entry points over
# libarchive. Its core (rarcore.cpp and the rar*.cpp files beside it, which share
# rarstate.h) is portable and tested natively; the
# Winelib layer (unrar_dll.cpp) maps the library's records and callback onto it.
# The Windows build uses the real unrar.dll, so nothing here is built for mingw.
set(UNRAR_CORE_SOURCES
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarcore.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarprobe.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarnames.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarvolumes.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarrecords.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarremembered.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarwalk.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarentries.cpp
  ${CMAKE_SOURCE_DIR}/comics/unrar/rarhelper.cpp)

if(BRISA_MODE STREQUAL native)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UNRAR_LIBARCHIVE REQUIRED libarchive)
  add_library(unrar_core STATIC ${UNRAR_CORE_SOURCES})
  target_include_directories(unrar_core PUBLIC ${UNRAR_LIBARCHIVE_INCLUDE_DIRS})
  target_link_libraries(unrar_core PUBLIC ${UNRAR_LIBARCHIVE_LIBRARIES} ZLIB::ZLIB)
  if(NOT BRISA_FUZZ)
    set(UNRAR_TEST_SOURCES
      ${CMAKE_SOURCE_DIR}/tests/unit/unrar_core_test.cpp
      ${CMAKE_SOURCE_DIR}/tests/unit/unrar_archives_test.cpp
      ${CMAKE_SOURCE_DIR}/tests/unit/unrar_remember_test.cpp)
    list(APPEND BRISA_NATIVE_TESTS ${UNRAR_TEST_SOURCES})
    set_property(SOURCE ${UNRAR_TEST_SOURCES} APPEND PROPERTY COMPILE_DEFINITIONS
      BRISA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    cmake_language(DEFER CALL target_link_libraries native_tests PRIVATE unrar_core)
    # The reader's listing pattern over a RAR, timed: rar_bench ARCHIVE [runs]
    add_executable(rar_bench ${CMAKE_SOURCE_DIR}/bench/rar_bench.cpp)
    target_include_directories(rar_bench PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(rar_bench PRIVATE unrar_core)
  else()
    add_executable(fuzz_unrar ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_unrar.cpp ${UNRAR_CORE_SOURCES})
    target_compile_options(fuzz_unrar PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_unrar PRIVATE -fsanitize=fuzzer)
    target_include_directories(fuzz_unrar PRIVATE ${UNRAR_LIBARCHIVE_INCLUDE_DIRS})
    target_link_libraries(fuzz_unrar PRIVATE ${UNRAR_LIBARCHIVE_LIBRARIES} ZLIB::ZLIB)
  endif()
endif()

if(BRISA_MODE STREQUAL winelib)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UNRAR_LIBARCHIVE REQUIRED libarchive)
  # The core includes Linux headers only (libarchive's would turn to their
  # Windows declarations under winegcc's _WIN32 and 2-byte wchar_t).
  set_property(SOURCE ${UNRAR_CORE_SOURCES} APPEND PROPERTY COMPILE_OPTIONS
    -U_WIN32 -UWIN32 -U__WIN32 -U__WIN32__ -U_WIN64 -UWIN64 -U__WIN64 -U__WIN64__
    -U__WINNT -U__WINNT__ -U__stdcall -U__cdecl -U__fastcall -U_stdcall -U_cdecl -U_fastcall
    -fno-short-wchar)
  add_library(unrar SHARED ${CMAKE_SOURCE_DIR}/comics/unrar/unrar_dll.cpp ${UNRAR_CORE_SOURCES})
  set_target_properties(unrar PROPERTIES PREFIX "" SUFFIX ".dll"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  # The export list; winegcc recognises it by its .spec suffix.
  configure_file(${CMAKE_SOURCE_DIR}/comics/unrar/unrar.exports ${CMAKE_BINARY_DIR}/generated/unrar.spec COPYONLY)
  target_link_options(unrar PRIVATE ${CMAKE_BINARY_DIR}/generated/unrar.spec)
  set_property(TARGET unrar APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/generated/unrar.spec)
  target_link_libraries(unrar PRIVATE ${UNRAR_LIBARCHIVE_LIBRARIES} z)
  # winegcc writes the ELF image as unrar.dll.so; Wine loads it by the program's
  # LoadLibraryW("<folder>\\unrar.dll") only under the plain name, beside Brisa.exe.
  add_custom_command(TARGET unrar POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/unrar.dll.so ${CMAKE_BINARY_DIR}/unrar.dll)
endif()

if(BRISA_MODE STREQUAL winelib)
  # Building the program builds its unrar.dll beside it.
  cmake_language(DEFER CALL add_dependencies Brisa unrar)
endif()
