# Comic archives. The folder's sub-folders follow the build: archive/ (portable
# cores), rar/ (the RAR reader), wic/ (Windows decoding), codecs/ (Linux decoding,
# the codec library), worker/ (the decode worker), unrar/ (the Linux unrar.dll).
# The portable cores (names, ZIP directory, extraction, sniffers, page order and
# sizes, heap) build in every mode; their tests and fuzz targets only natively.
set(COMICS_PORTABLE_SOURCES
  ${CMAKE_SOURCE_DIR}/comics/archive/memory.cpp
  ${CMAKE_SOURCE_DIR}/comics/archive/names.cpp
  ${CMAKE_SOURCE_DIR}/comics/archive/zip.cpp
  ${CMAKE_SOURCE_DIR}/comics/archive/extract.cpp
  ${CMAKE_SOURCE_DIR}/comics/archive/sniff.cpp
  ${CMAKE_SOURCE_DIR}/comics/archive/archive.cpp)
list(APPEND BRISA_PORTABLE_SOURCES ${COMICS_PORTABLE_SOURCES})

# Image decoding. The Windows build asks the Windows Imaging Component (wic/); the
# Linux builds (Winelib and native) decode with Debian's codec libraries (codecs/).
if(BRISA_MODE STREQUAL mingw)
  list(APPEND BRISA_WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/comics/wic/decode_wic.cpp)
else()
  set(COMICS_CODEC_SOURCES
    ${CMAKE_SOURCE_DIR}/comics/codecs/scale.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/decode_codecs.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_jpeg.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_png.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_gif.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_bmp.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_webp.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_tiff.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_heif.cpp
    ${CMAKE_SOURCE_DIR}/comics/codecs/codec_jxr.cpp)
  list(APPEND BRISA_PORTABLE_SOURCES ${COMICS_CODEC_SOURCES})
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(COMICS_CODECS REQUIRED libjpeg libpng libwebp libwebpdemux libtiff-4 libjxr)
  find_library(COMICS_GIF_LIBRARY gif REQUIRED)
  set(COMICS_CODEC_LIBRARIES ${COMICS_CODECS_LIBRARIES} ${COMICS_GIF_LIBRARY} ${CMAKE_DL_LIBS})
  # libavif and libheif (with the AV1 and HEVC codecs behind them) are opened at
  # the first such image rather than linked: linked, they cost ~15 ms per start.
  # Their headers are needed, and their sonames, read from the development links.
  pkg_check_modules(COMICS_LAZY_CODECS REQUIRED libavif libheif)
  foreach(name avif heif)
    find_library(COMICS_${name}_LINK ${name} REQUIRED)
    file(READ_SYMLINK ${COMICS_${name}_LINK} COMICS_${name}_SONAME)
    get_filename_component(COMICS_${name}_SONAME ${COMICS_${name}_SONAME} NAME)
  endforeach()
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/comics/codecs/codec_heif.cpp APPEND PROPERTY COMPILE_DEFINITIONS
    BRISA_AVIF_LIBRARY="${COMICS_avif_SONAME}" BRISA_HEIF_LIBRARY="${COMICS_heif_SONAME}")
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/comics/codecs/codec_jxr.cpp APPEND PROPERTY INCLUDE_DIRECTORIES
    ${COMICS_CODECS_INCLUDE_DIRS})
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/comics/codecs/codec_jxr.cpp APPEND PROPERTY COMPILE_DEFINITIONS
    __ANSI__ DISABLE_PERF_MEASUREMENT)
  if(BRISA_MODE STREQUAL winelib)
    # The program loads its decoders from libbrisa-codecs.so beside it at the
    # first comic page (comics/codecs/decode_module.cpp), so that no start pays for
    # the codec libraries. The library is plain Linux code, built by the host
    # compiler; -Bsymbolic keeps its calls inside it. -O3: only there are the
    # scaler's inner loops vectorised, which makes scaling a page three times faster.
    list(REMOVE_ITEM BRISA_PORTABLE_SOURCES ${COMICS_CODEC_SOURCES})
    list(APPEND BRISA_WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/comics/codecs/decode_module.cpp)
    set(COMICS_MODULE_SOURCES ${COMICS_CODEC_SOURCES} ${CMAKE_SOURCE_DIR}/comics/archive/memory.cpp
      ${CMAKE_SOURCE_DIR}/comics/codecs/codecs_module.cpp)
    set(COMICS_MODULE_FLAGS -std=c++17 -O3 -fPIC -shared -Wall -Wl,-Bsymbolic -Wl,--as-needed
      -I${CMAKE_SOURCE_DIR} ${COMICS_CODECS_CFLAGS} ${COMICS_LAZY_CODECS_CFLAGS}
      -D__ANSI__ -DDISABLE_PERF_MEASUREMENT
      "-DBRISA_AVIF_LIBRARY=\"${COMICS_avif_SONAME}\"" "-DBRISA_HEIF_LIBRARY=\"${COMICS_heif_SONAME}\"")
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/libbrisa-codecs.so
      COMMAND g++ ${COMICS_MODULE_FLAGS} -o ${CMAKE_BINARY_DIR}/libbrisa-codecs.so ${COMICS_MODULE_SOURCES}
        ${COMICS_CODECS_LDFLAGS} -lgif -ldl
      DEPENDS ${COMICS_MODULE_SOURCES} ${CMAKE_SOURCE_DIR}/comics/codecs/codecs.h ${CMAKE_SOURCE_DIR}/comics/decode.h
        ${CMAKE_SOURCE_DIR}/comics/codecs/scale.h ${CMAKE_SOURCE_DIR}/comics/archive/memory.h ${CMAKE_SOURCE_DIR}/comics/archive/bytes.h
        ${CMAKE_SOURCE_DIR}/comics/codecs/codecs_module.h
      COMMENT "Building the codec library libbrisa-codecs.so"
      VERBATIM)
    add_custom_target(brisa_codecs_module ALL DEPENDS ${CMAKE_BINARY_DIR}/libbrisa-codecs.so)
    cmake_language(DEFER CALL add_dependencies brisa_code brisa_codecs_module)
    cmake_language(DEFER CALL target_link_libraries brisa_code PUBLIC ${CMAKE_DL_LIBS})
  else()
    cmake_language(DEFER CALL target_link_libraries brisa_portable PUBLIC ${COMICS_CODEC_LIBRARIES})
  endif()
endif()

if(BRISA_MODE STREQUAL native)
  list(APPEND BRISA_NATIVE_TESTS
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_names_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_zip_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_extract_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_sniff_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_archive_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_pages_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_decode_scale_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_decode_formats_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/comics_decode_hostile_test.cpp)
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
  add_executable(fuzz_decode ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_decode.cpp ${COMICS_PORTABLE_SOURCES}
    ${COMICS_CODEC_SOURCES})
  target_compile_options(fuzz_decode PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_decode PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_decode PRIVATE brisa_portable ${COMICS_CODEC_LIBRARIES})
endif()

# Pages as pixels and their quarter turns (portable), the decode worker (Windows API).
list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/comics/pages.cpp ${CMAKE_SOURCE_DIR}/comics/turn.cpp)
list(APPEND BRISA_WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/comics/worker/worker.cpp)
list(APPEND BRISA_INPROC_TESTS ${CMAKE_SOURCE_DIR}/tests/inproc/comics_test.cpp)

# RAR archives through unrar.dll need the Windows API; the native build has no
# library and answers as if it were missing.
if(BRISA_MODE STREQUAL native)
  list(APPEND BRISA_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/comics/rar/rar_absent.cpp)
else()
  list(APPEND BRISA_WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/comics/rar/rar.cpp)
endif()

# The RAR reader against a scripted unrar.dll: each test program sits in its own
# folder beside its own fake library, since the reader loads it from there. The
# second fake lacks RARSetCallback.
if(BRISA_MODE STREQUAL winelib)
  foreach(variant listing nocallback)
    set(folder ${CMAKE_BINARY_DIR}/fakeunrar-${variant})
    set(exportList fakeunrar)
    if(variant STREQUAL nocallback)
      set(exportList fakeunrar_nocallback)
    endif()
    # winegcc recognises an export list by its .spec suffix.
    set(exports ${CMAKE_BINARY_DIR}/generated/${exportList}.spec)
    configure_file(${CMAKE_SOURCE_DIR}/tests/support/${exportList}.exports ${exports} COPYONLY)
    add_library(fakeunrar_${variant} SHARED ${CMAKE_SOURCE_DIR}/tests/support/fakeunrar.cpp)
    target_link_options(fakeunrar_${variant} PRIVATE ${exports})
    set_target_properties(fakeunrar_${variant} PROPERTIES PREFIX "" OUTPUT_NAME unrar SUFFIX ".dll"
      LIBRARY_OUTPUT_DIRECTORY ${folder} LINK_DEPENDS ${exports})
    # winegcc writes unrar.dll.so; Wine loads the ELF file under the DLL's own name.
    add_custom_command(TARGET fakeunrar_${variant} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy ${folder}/unrar.dll.so ${folder}/unrar.dll)
    add_executable(rar_${variant}_tests ${CMAKE_SOURCE_DIR}/tests/inproc/rar_${variant}_test.cpp)
    set_target_properties(rar_${variant}_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${folder})
    target_link_options(rar_${variant}_tests PRIVATE ${BRISA_CONSOLE_FLAGS})
    target_link_libraries(rar_${variant}_tests PRIVATE brisa_code GTest::gtest GTest::gtest_main)
    add_dependencies(rar_${variant}_tests fakeunrar_${variant})
    # The decoders are loaded from beside the program too.
    add_custom_command(TARGET rar_${variant}_tests POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/libbrisa-codecs.so ${folder}/)
    add_test(NAME inproc_rar_${variant} COMMAND rar_${variant}_tests)
    set_tests_properties(inproc_rar_${variant} PROPERTIES TIMEOUT 300)
  endforeach()
endif()
# The codec library's first load raced from several threads, in a program of its
# own so that no earlier test has loaded it.
if(BRISA_MODE STREQUAL winelib)
  add_executable(codec_load_tests ${CMAKE_SOURCE_DIR}/tests/inproc/codec_load_test.cpp)
  target_link_options(codec_load_tests PRIVATE ${BRISA_CONSOLE_FLAGS})
  target_link_libraries(codec_load_tests PRIVATE brisa_code GTest::gtest GTest::gtest_main)
  add_test(NAME inproc_codec_load COMMAND codec_load_tests)
  set_tests_properties(inproc_codec_load PROPERTIES TIMEOUT 120)
endif()
include(${CMAKE_SOURCE_DIR}/comics/unrar/targets.cmake)
