# Linux build under Winelib. The suffix must be set here: the Linux platform file resets it.
set(CMAKE_EXECUTABLE_SUFFIX .exe)
list(APPEND CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES /usr/include)   # else gtest adds -isystem /usr/include
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX)
add_compile_options(-Wall)
add_library(pdfium SHARED IMPORTED)
set_target_properties(pdfium PROPERTIES IMPORTED_LOCATION ${PDFIUM_DIR}/libpdfium.so)
set(BRISA_GUI_FLAGS -mwindows -municode)
set(BRISA_CONSOLE_FLAGS -mconsole)
find_package(GTest REQUIRED)
include(GoogleTest)
