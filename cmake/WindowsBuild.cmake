# The Windows build (cmake/mingw-w64-x86_64.cmake): the same core on the Windows platform backend,
# varnel.exe, the helpers, and tcvarnel.exe when Qt for MinGW is at hand. Qt and libarchive come
# from tools/windows-deps.sh's cache (VARNEL_WINDEPS); its tests run under 64-bit Wine.
set(VARNEL_WINDEPS "" CACHE PATH "The folder tools/windows-deps.sh printed (qt/ and libarchive/ inside)")
if(NOT VARNEL_WINDEPS OR NOT EXISTS ${VARNEL_WINDEPS}/libarchive/lib/libarchive_static.a)
  message(FATAL_ERROR "Run tools/windows-deps.sh and pass its folder as -DVARNEL_WINDEPS=...")
endif()
list(APPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake)
include(MinGW)

# libarchive and zlib linked in: the programs need no DLL of theirs beside them.
add_library(LibArchive::LibArchive STATIC IMPORTED)
set_target_properties(LibArchive::LibArchive PROPERTIES
  IMPORTED_LOCATION ${VARNEL_WINDEPS}/libarchive/lib/libarchive_static.a
  INTERFACE_INCLUDE_DIRECTORIES ${VARNEL_WINDEPS}/libarchive/include
  INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
  INTERFACE_LINK_LIBRARIES "/usr/x86_64-w64-mingw32/lib/libz.a;bcrypt")
set(LibArchive_FOUND TRUE)

if(VARNEL_GUI)
  list(PREPEND CMAKE_PREFIX_PATH ${VARNEL_WINDEPS}/qt)
  set(QT_HOST_PATH /usr)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
endif()

add_subdirectory(src)
add_custom_target(varnel_language ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/Language ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Language
  COMMENT "Copying language files")

if(VARNEL_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
