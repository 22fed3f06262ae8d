# Linux build: Winelib, the program runs on Wine's Windows API and links libpdfium.so.
set(CMAKE_C_COMPILER winegcc)
set(CMAKE_CXX_COMPILER wineg++)
set(CMAKE_RC_COMPILER wrc)
set(CMAKE_RC_COMPILE_OBJECT "<CMAKE_RC_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -o <OBJECT> <SOURCE>")
set(CMAKE_LIBRARY_ARCHITECTURE x86_64-linux-gnu)
set(BRISA_MODE winelib CACHE STRING "" FORCE)
