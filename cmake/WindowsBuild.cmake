# The Windows build (cmake/mingw-w64-x86_64.cmake): the same core on the Windows platform backend,
# varnel.exe, the helpers, and tcvarnel.exe when Qt for MinGW is at hand. Qt and libarchive come
# from tools/windows-deps.sh's cache (VARNEL_WINDEPS); its tests run under 64-bit Wine.
set(VARNEL_WINDEPS "" CACHE PATH "The folder tools/windows-deps.sh printed (qt/ and libarchive/ inside)")
if(NOT VARNEL_WINDEPS OR NOT EXISTS ${VARNEL_WINDEPS}/libarchive/lib/libarchive_static.a)
  message(FATAL_ERROR "Run tools/windows-deps.sh and pass its folder as -DVARNEL_WINDEPS=...")
endif()
list(APPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake)
include(MinGW)
enable_language(RC)

# libarchive and zlib linked in: the programs need no DLL of theirs beside them.
add_library(LibArchive::LibArchive STATIC IMPORTED)
set_target_properties(LibArchive::LibArchive PROPERTIES
  IMPORTED_LOCATION ${VARNEL_WINDEPS}/libarchive/lib/libarchive_static.a
  INTERFACE_INCLUDE_DIRECTORIES ${VARNEL_WINDEPS}/libarchive/include
  INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
  INTERFACE_LINK_LIBRARIES "/usr/x86_64-w64-mingw32/lib/libz.a;bcrypt")
set(LibArchive_FOUND TRUE)

include(VersionResource)

if(VARNEL_GUI)
  list(PREPEND CMAKE_PREFIX_PATH ${VARNEL_WINDEPS}/qt)
  set(QT_HOST_PATH /usr)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  # The picture renderer runs here, built with this machine's compiler and Qt.
  include(ExternalProject)
  set(VARNEL_HOST_TOOLS ${CMAKE_BINARY_DIR}/host-tools)
  ExternalProject_Add(host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/host
    BINARY_DIR ${VARNEL_HOST_TOOLS}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${VARNEL_HOST_TOOLS}/varnel-make-icons)
  set(VARNEL_ICON_TOOL ${VARNEL_HOST_TOOLS}/varnel-make-icons)
  include(IconModule)
  varnel_icon_module(TOOL ${VARNEL_ICON_TOOL} DEPENDS host_tools)
endif()

add_subdirectory(src)
add_custom_target(varnel_language ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/Language ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Language
  # The user's README for Windows; the repository's README is the developers'.
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/README-windows.md ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/README.md
  COMMENT "Copying language files and the README")


if(VARNEL_GUI)
  # What tcvarnel.exe needs beside it: Qt's DLLs and plugins, and MinGW's runtime.
  set(qt ${VARNEL_WINDEPS}/qt)
  set(VARNEL_RUNTIME_FILES ${qt}/bin/Qt6Core.dll ${qt}/bin/Qt6Gui.dll ${qt}/bin/Qt6Widgets.dll)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE path
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path ${path} REALPATH)
    list(APPEND VARNEL_RUNTIME_FILES ${path})
  endforeach()
  set(VARNEL_RUNTIME_PLUGINS platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll
                             imageformats/qjpeg.dll imageformats/qgif.dll)
  set(copy_plugins)
  foreach(plugin ${VARNEL_RUNTIME_PLUGINS})
    list(APPEND copy_plugins COMMAND ${CMAKE_COMMAND} -E copy_if_different ${qt}/plugins/${plugin}
                                     ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${plugin})
  endforeach()
  add_custom_target(varnel_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/styles ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/imageformats
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VARNEL_RUNTIME_FILES} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    ${copy_plugins}
    COMMENT "Copying the Qt and MinGW runtime beside the program")

  # The portable folder and its zip: everything the program needs, nothing to install.
  set(VARNEL_PACKAGE_NAME tcvarnel-${VARNEL_VERSION}-win64)
  string(REPLACE ";" "|" plugins "${VARNEL_RUNTIME_PLUGINS}")
  string(REPLACE ";" "|" runtime "${VARNEL_RUNTIME_FILES}")
  add_custom_target(varnel_package ALL
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
            WINEDLLOVERRIDES=mscoree,mshtml=
            ${CMAKE_COMMAND} -DBIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY} -DOUT=${CMAKE_BINARY_DIR}/package
            -DNAME=${VARNEL_PACKAGE_NAME} -DPLUGINS=${plugins} -DRUNTIME=${runtime}
            -DSTRIP=${CMAKE_STRIP} -DWINE=${CMAKE_CROSSCOMPILING_EMULATOR}
            -DTRANSLATIONS=/usr/share/qt6/translations
            -P ${CMAKE_SOURCE_DIR}/cmake/WindowsPackage.cmake
    DEPENDS tcvarnel varnel tcvarnel-probe varnel_runtime varnel_icon_module varnel_language
    COMMENT "Packing ${VARNEL_PACKAGE_NAME}.zip" VERBATIM)
endif()

if(VARNEL_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
