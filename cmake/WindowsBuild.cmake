# The Windows build (cmake/mingw-w64-x86_64.cmake). So far it holds the part of the core that has
# no operating system in it (the host's text helpers, the INI engine) with the host's text
# conversions on the system's code page, and their tests, run under 64-bit Wine; the rest of the
# Windows platform backend and everything above it are not in this tree yet.
message(STATUS "Windows build: the platform-free core and its tests only")

add_library(varnel_text STATIC
  src/util/text.cpp
  src/util/format_printf.cpp
  src/util/names.cpp
  src/platform/ini_text.cpp
  src/platform/codepage.cpp
  src/platform/win32/ansi_win32.cpp
)
target_include_directories(varnel_text PUBLIC ${CMAKE_SOURCE_DIR}/src)

if(VARNEL_TESTS)
  enable_testing()
  # GoogleTest from the source Debian ships with libgtest-dev, built with the same compiler.
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  add_executable(varnel_text_tests tests/unit/text_test.cpp tests/unit/ini_text_test.cpp tests/unit/codepage_test.cpp)
  target_link_libraries(varnel_text_tests PRIVATE varnel_text GTest::gtest_main)
  # One self-contained program: no MinGW runtime DLLs to put beside it.
  target_link_options(varnel_text_tests PRIVATE -static)
  # One Wine start for the whole program: a start per test case would cost a second each.
  add_test(NAME windows_text_tests COMMAND varnel_text_tests)
  set_tests_properties(windows_text_tests PROPERTIES
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
    TIMEOUT 600)
endif()
