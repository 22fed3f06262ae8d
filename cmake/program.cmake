# The program, in both Windows builds. Its code (all but the entry point) is
# also a static library, which the in-process tests link.
set(BRISA_SYSTEM_LIBS comctl32 gdi32 user32 advapi32 kernel32)
add_library(brisa_code STATIC ${BRISA_PORTABLE_SOURCES} ${BRISA_WINDOWS_SOURCES})
target_link_libraries(brisa_code PUBLIC pdfium ${BRISA_SYSTEM_LIBS})
add_executable(Brisa WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp ${CMAKE_SOURCE_DIR}/resources/brisa.rc)
target_include_directories(Brisa PRIVATE ${CMAKE_SOURCE_DIR}/resources)
# The version is written once, in resources/version.h; the manifest takes it from there.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/version.h)
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/version.h BRISA_VERSION REGEX "^#define BRISA_VERSION +\"")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" BRISA_VERSION "${BRISA_VERSION}")
configure_file(${CMAKE_SOURCE_DIR}/resources/brisa.manifest.in ${BRISA_GENERATED}/brisa.manifest @ONLY)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/brisa.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/brisa.ico ${CMAKE_SOURCE_DIR}/resources/about.png
  ${CMAKE_SOURCE_DIR}/resources/version.h ${BRISA_GENERATED}/brisa.manifest)
target_link_options(Brisa PRIVATE ${BRISA_GUI_FLAGS})
target_link_libraries(Brisa PRIVATE brisa_code)
