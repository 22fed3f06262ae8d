# Native build of the portable cores: plain g++/clang, no Windows headers.
# BRISA_FUZZ=ON (with clang) adds the libFuzzer targets; BRISA_SANITIZE=ON builds
# everything with ASan and UBSan.
option(BRISA_FUZZ "build libFuzzer targets (clang)" OFF)
option(BRISA_SANITIZE "build with AddressSanitizer and UBSan" OFF)
if(BRISA_SANITIZE OR BRISA_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
find_package(GTest REQUIRED)
find_package(ZLIB REQUIRED)
include(GoogleTest)
add_compile_options(-Wall -Wextra)
add_library(pdfium SHARED IMPORTED)
set_target_properties(pdfium PROPERTIES IMPORTED_LOCATION ${PDFIUM_DIR}/libpdfium.so)
