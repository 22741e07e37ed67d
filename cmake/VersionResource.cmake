# Version resources for the Windows files this project builds, with the version the program itself
# states (kProgramVersionText).
file(STRINGS ${CMAKE_SOURCE_DIR}/src/ops/plugin_list.h version_line REGEX "kProgramVersionText = ")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" VARNEL_VERSION "${version_line}")
string(REPLACE "." "," VARNEL_VERSION_COMMAS "${VARNEL_VERSION},0")

# The version resource of a Windows file (name.exe or name.dll), written to rc; with an icon the
# program shows its icon too (the icons come with the GUI's build).
function(varnel_version_rc rc file description)
  cmake_parse_arguments(ARG "ICON" "" "" ${ARGN})
  set(VARNEL_FILE_NAME ${file})
  get_filename_component(VARNEL_INTERNAL_NAME ${file} NAME_WE)
  set(VARNEL_FILE_DESCRIPTION ${description})
  set(VARNEL_FILE_TYPE VFT_APP)
  if(file MATCHES "\\.dll$")
    set(VARNEL_FILE_TYPE VFT_DLL)
  endif()
  set(VARNEL_ICON_LINE "")
  if(ARG_ICON)
    set(VARNEL_ICON_LINE "MAINICON ICON \"${VARNEL_ICON_DIR}/MAINICON.ico\"")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/src/app/tcvarnel.rc.in ${rc} @ONLY)
endfunction()

function(varnel_version_resource target description)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  if(VARNEL_GUI)
    varnel_version_rc(${rc} ${target}.exe ${description} ICON)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${VARNEL_ICON_DIR}/MAINICON.ico)
    add_dependencies(${target} varnel_icon_files)
  else()
    varnel_version_rc(${rc} ${target}.exe ${description})
  endif()
  target_sources(${target} PRIVATE ${rc})
endfunction()

