# Windows build: Brisa.exe imports pdfium.dll through an import library made
# from our own list of the functions we call.
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX)
add_compile_options(-Wall)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/libpdfium.dll.a
  COMMAND ${CMAKE_DLLTOOL} -d ${PDFIUM_DEF} -l ${CMAKE_BINARY_DIR}/libpdfium.dll.a -D pdfium.dll
  DEPENDS ${PDFIUM_DEF})
add_custom_target(pdfium_implib DEPENDS ${CMAKE_BINARY_DIR}/libpdfium.dll.a)
add_library(pdfium SHARED IMPORTED)
set_target_properties(pdfium PROPERTIES IMPORTED_IMPLIB ${CMAKE_BINARY_DIR}/libpdfium.dll.a)
add_dependencies(pdfium pdfium_implib)
set(BRISA_GUI_FLAGS -mwindows -municode -static)   # no libstdc++ or winpthread DLLs beside the exe
