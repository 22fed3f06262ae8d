list(APPEND BRISA_PORTABLE_SOURCES
  ${CMAKE_SOURCE_DIR}/viewer/layout.cpp
  ${CMAKE_SOURCE_DIR}/viewer/night.cpp
  ${CMAKE_SOURCE_DIR}/viewer/nightpage.cpp
  ${CMAKE_SOURCE_DIR}/viewer/pagecache.cpp
  ${CMAKE_SOURCE_DIR}/viewer/present.cpp
  ${CMAKE_SOURCE_DIR}/viewer/places.cpp
  ${CMAKE_SOURCE_DIR}/viewer/recent.cpp
  ${CMAKE_SOURCE_DIR}/viewer/uri.cpp)
list(APPEND BRISA_WINDOWS_SOURCES
  ${CMAKE_SOURCE_DIR}/viewer/document.cpp
  ${CMAKE_SOURCE_DIR}/viewer/pdffile.cpp
  ${CMAKE_SOURCE_DIR}/viewer/view.cpp
  ${CMAKE_SOURCE_DIR}/viewer/input.cpp
  ${CMAKE_SOURCE_DIR}/viewer/links.cpp
  ${CMAKE_SOURCE_DIR}/viewer/paint.cpp
  ${CMAKE_SOURCE_DIR}/viewer/prefetch.cpp
  ${CMAKE_SOURCE_DIR}/viewer/history.cpp
  ${CMAKE_SOURCE_DIR}/viewer/resume.cpp)
list(APPEND BRISA_NATIVE_TESTS
  ${CMAKE_SOURCE_DIR}/tests/unit/layout_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/night_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/nightpage_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/pagecache_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/places_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/recent_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/uri_test.cpp)
list(APPEND BRISA_INPROC_TESTS ${CMAKE_SOURCE_DIR}/tests/inproc/pdffile_test.cpp)
