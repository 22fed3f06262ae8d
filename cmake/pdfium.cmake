# The PDFium functions Brisa calls are listed once, in base/pdfium.table. Every
# build generates from it, at configure time, the declarations base/pdfium.h
# includes and the .def of Brisa.exe's import library; the Linux build also the
# test bridge's exports. Editing the table reconfigures.
set(BRISA_GENERATED ${CMAKE_BINARY_DIR}/generated)
set(PDFIUM_DEF ${BRISA_GENERATED}/pdfium.def)
set(PDFIUM_BRIDGE_EXPORTS ${BRISA_GENERATED}/pdfium_bridge.spec)
set(PDFIUM_BRIDGE_WRAPPERS ${BRISA_GENERATED}/pdfium_bridge_exports.cpp)
file(MAKE_DIRECTORY ${BRISA_GENERATED})
find_package(Python3 REQUIRED COMPONENTS Interpreter)
execute_process(
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/base/pdfium_table.py ${CMAKE_SOURCE_DIR}/base/pdfium.table
          --header ${BRISA_GENERATED}/pdfium_functions.h --def ${PDFIUM_DEF}
          --exports ${PDFIUM_BRIDGE_EXPORTS} --wrappers ${PDFIUM_BRIDGE_WRAPPERS}
  RESULT_VARIABLE pdfium_table_result)
if(NOT pdfium_table_result EQUAL 0)
  message(FATAL_ERROR "base/pdfium.table could not be read (see above)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/base/pdfium.table ${CMAKE_SOURCE_DIR}/base/pdfium_table.py)
include_directories(${BRISA_GENERATED})
