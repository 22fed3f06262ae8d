# What can be checked of Brisa.exe without Windows: its headers, imports and resources.
add_test(NAME windows_executable
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/pe/check_pe.py $<TARGET_FILE:Brisa> ${PDFIUM_DEF})
add_test(NAME windows_executable_checker
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/pe/test_check_pe.sh)
# The one list of PDFium functions and what is made from it.
add_test(NAME pdfium_table COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/bridge/test_pdfium_table.py)
# The benchmark's floor in Brisa's shape (scripts/bench-launcher.sh), kept building.
add_executable(shapefloor WIN32 ${CMAKE_SOURCE_DIR}/bench/shapefloor.c)
