# libpdfium.so beside the program, found through its rpath.
add_custom_command(TARGET Brisa POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PDFIUM_DIR}/libpdfium.so ${CMAKE_BINARY_DIR}/libpdfium.so)

# The Linux launcher as the build folder runs it (scripts/run.sh): the
# keeper that holds a prefix's desktop open, the session script, and `brisa`
# pointing at this folder. scripts/install.sh installs the same pieces.
add_executable(brisa-keeper WIN32 ${CMAKE_SOURCE_DIR}/launcher/keeper.cpp)
target_link_options(brisa-keeper PRIVATE ${BRISA_GUI_FLAGS})
target_link_libraries(brisa-keeper PRIVATE user32)
set(BRISA_LIBDIR ${CMAKE_BINARY_DIR})
configure_file(${CMAKE_SOURCE_DIR}/launcher/brisa.in ${CMAKE_BINARY_DIR}/brisa @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_SOURCE_DIR}/launcher/brisa-session ${CMAKE_BINARY_DIR}/brisa-session COPYONLY)
add_dependencies(Brisa brisa-keeper)

# The end-to-end driver: a console program that acts on Brisa's windows.
add_executable(driver ${CMAKE_SOURCE_DIR}/tests/e2e/driver.cpp)
target_link_options(driver PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(driver PRIVATE user32 gdi32)

# In-process tests: the program's code and its real windows in a test binary,
# run once in English and once in French.
add_executable(inproc_tests ${CMAKE_SOURCE_DIR}/tests/inproc/program_test.cpp ${BRISA_INPROC_TESTS})
target_link_options(inproc_tests PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(inproc_tests PRIVATE brisa_code GTest::gtest GTest::gtest_main)
target_compile_definitions(inproc_tests PRIVATE BRISA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_test(NAME inproc_english COMMAND inproc_tests)
set_tests_properties(inproc_english PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8;LANG=en_US.UTF-8" TIMEOUT 300)
add_test(NAME inproc_french COMMAND inproc_tests)
set_tests_properties(inproc_french PROPERTIES ENVIRONMENT "LC_ALL=fr_FR.UTF-8;LANG=fr_FR.UTF-8" TIMEOUT 300)

# End-to-end tests: the real program under Xvfb and Wine, driven from outside.
# They need the environment of tests/e2e/wine-env.sh (scripts/test.sh sets it up).
# env: that script itself, in an environment of its own;
# installer: BrisaSetup.exe under Wine (needs the Windows build, made on demand);
# linux_install: scripts/install.sh.
foreach(suite env start open pagemode keys mouse search about comics cbr print changing thumbs outline goto resume fullscreen
              display places reload installer linux_install)
  add_test(NAME e2e_${suite} COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/e2e/test_${suite}.py
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  set_tests_properties(e2e_${suite} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE LABELS linux)
endforeach()

# The warm launcher: its own prefixes, servers and keepers.
add_test(NAME e2e_launcher COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/e2e/test_launcher.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
set_tests_properties(e2e_launcher PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE LABELS launcher)

# The same tests against the Windows build: Brisa.exe under Wine, beside the test
# bridge (tests/e2e/brisa.py stages them). A representative part, to keep the
# run short: start, every open error, keys, search, every comic decoder, RAR, printing,
# files changed while open and the About window; test_builds compares the two builds directly.
# `ctest -L windows` runs these alone.
set(BRISA_WINDOWS_EXE ${CMAKE_SOURCE_DIR}/build/mingw/Brisa.exe CACHE FILEPATH
    "the Windows build's Brisa.exe, for its end-to-end tests")
foreach(suite start open keys search about comics cbr print changing builds)
  add_test(NAME e2e_windows_${suite} COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/e2e/test_${suite}.py
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  set_tests_properties(e2e_windows_${suite} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE LABELS windows
    ENVIRONMENT "BRISA_EXE_FLAVOUR=windows;BRISA_WINDOWS_EXE=${BRISA_WINDOWS_EXE}")
endforeach()

# Start-up benchmark in-process (scripts/bench-startup.sh runs it).
add_executable(firstpaint ${CMAKE_SOURCE_DIR}/bench/firstpaint.cpp)
target_link_options(firstpaint PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(firstpaint PRIVATE brisa_code)
# Go to page, key to painted, beside End (scripts/bench-resume.sh runs it).
add_executable(goto_bench ${CMAKE_SOURCE_DIR}/bench/goto_bench.cpp)
target_link_options(goto_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(goto_bench PRIVATE brisa_code)
# Keeping the reading position over a key full of foreign values (scripts/bench-recent.sh runs it).
add_executable(recent_bench ${CMAKE_SOURCE_DIR}/bench/recent_bench.cpp)
target_link_options(recent_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(recent_bench PRIVATE brisa_code)
# Night mode's pass beside rendering the strip it turns (scripts/bench-night.sh runs it).
add_executable(night_bench ${CMAKE_SOURCE_DIR}/bench/night_bench.cpp)
target_link_options(night_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(night_bench PRIVATE brisa_code)
# Presentation page turn, key to painted (scripts/bench-present.sh runs it).
add_executable(present_bench ${CMAKE_SOURCE_DIR}/bench/present_bench.cpp)
target_link_options(present_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(present_bench PRIVATE brisa_code)
# A PDF opened through the program's reader beside a mapping (scripts/bench-open.sh runs it).
add_executable(open_bench ${CMAKE_SOURCE_DIR}/bench/open_bench.cpp)
target_link_options(open_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(open_bench PRIVATE brisa_code)
# A long PDF rewritten while open, file stable to repainted (scripts/bench-reload.sh runs it).
add_executable(reload_bench ${CMAKE_SOURCE_DIR}/bench/reload_bench.cpp)
target_link_options(reload_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(reload_bench PRIVATE brisa_code)
add_executable(scroll_bench ${CMAKE_SOURCE_DIR}/bench/scroll_bench.cpp)
target_link_options(scroll_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(scroll_bench PRIVATE brisa_code)
# The rotation key to painted, beside a full repaint (scripts/bench-rotate.sh runs it).
add_executable(rotate_bench ${CMAKE_SOURCE_DIR}/bench/rotate_bench.cpp)
target_link_options(rotate_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(rotate_bench PRIVATE brisa_code)

# The Linux unrar.dll loaded from its folder by a test program, as Brisa.exe loads it.
add_executable(unrar_dll_tests ${CMAKE_SOURCE_DIR}/tests/unit/unrar_dll_test.cpp)
target_link_options(unrar_dll_tests PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(unrar_dll_tests PRIVATE GTest::gtest GTest::gtest_main)
target_compile_definitions(unrar_dll_tests PRIVATE BRISA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(unrar_dll_tests unrar)
add_test(NAME unrar_dll COMMAND unrar_dll_tests)
set_tests_properties(unrar_dll PROPERTIES TIMEOUT 120)
# Thumbnail panel benchmark in-process (scripts/bench-thumbs.sh runs it).
add_executable(thumbs_bench ${CMAKE_SOURCE_DIR}/bench/thumbs_bench.cpp)
target_link_options(thumbs_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(thumbs_bench PRIVATE brisa_code)

# F9 to the outline painted (scripts/bench-outline.sh runs it).
add_executable(outline_bench ${CMAKE_SOURCE_DIR}/bench/outline_bench.cpp)
target_link_options(outline_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(outline_bench PRIVATE brisa_code)

# The bridge that runs Brisa.exe (the Windows build) under Wine, and its tests.
include(${CMAKE_SOURCE_DIR}/tests/bridge/targets.cmake)

# A long session in one process: opens of every kind of document and comics
# closed under the decode worker, with what the process holds read all along.
# CI runs the short version; scripts/endurance.sh the long one.
add_executable(endurance_tests ${CMAKE_SOURCE_DIR}/tests/inproc/endurance_test.cpp)
target_link_options(endurance_tests PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(endurance_tests PRIVATE brisa_code GTest::gtest)
target_compile_definitions(endurance_tests PRIVATE BRISA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_test(NAME inproc_endurance COMMAND endurance_tests)
set_tests_properties(inproc_endurance PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8;LANG=en_US.UTF-8" TIMEOUT 600)
# Thousands of pages in-process, PDF and comic (scripts/bench-scale.sh runs them).
add_executable(scale_bench ${CMAKE_SOURCE_DIR}/bench/scale_bench.cpp)
target_link_options(scale_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(scale_bench PRIVATE brisa_code)
add_executable(comic_scale_bench ${CMAKE_SOURCE_DIR}/bench/comic_scale_bench.cpp)
target_link_options(comic_scale_bench PRIVATE ${BRISA_CONSOLE_FLAGS})
target_link_libraries(comic_scale_bench PRIVATE brisa_code)
