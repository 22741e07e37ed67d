# The icon module beside the program: a resource-only Windows DLL whose icon groups, sorted by
# name as the resource directory keeps them, give the indices the host's button bar and the
# shell's file types use (0 MAINICON ... 7 UMAINICON5). The icons are rendered from the SVG
# pictures by varnel-make-icons (TOOL, a program of this machine); VARNEL_ICON_DIR gets the .ico
# files, which the Windows build's programs take their own icon from.
function(varnel_icon_module)
  cmake_parse_arguments(ARG "" "TOOL" "DEPENDS" ${ARGN})
  set(icon_dir ${CMAKE_BINARY_DIR}/icons)
  set(icon_svg ${CMAKE_SOURCE_DIR}/src/ui/icons)
  set(icon_groups MAINICON varnel MAINICON2 lister MAINICON3 packer MAINICON4 fs
                  TOOLBAR1 add TOOLBAR2 order TOOLBAR3 restart UMAINICON5 content)
  set(icon_args)
  set(icon_files)
  set(icon_rc "")
  list(LENGTH icon_groups n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET icon_groups ${i} group)
    list(GET icon_groups ${j} picture)
    list(APPEND icon_args ${icon_dir}/${group}.ico ${icon_svg}/${picture}.svg)
    list(APPEND icon_files ${icon_dir}/${group}.ico)
    string(APPEND icon_rc "${group} ICON \"${group}.ico\"\n")
  endforeach()
  if(COMMAND varnel_version_rc)
    varnel_version_rc(${icon_dir}/version.rc tcvarnel-icons.dll "TC Varnel icons for the button bar and file types")
    string(APPEND icon_rc "#include \"version.rc\"\n")
  endif()
  file(WRITE ${icon_dir}/icons.rc.in "${icon_rc}")
  configure_file(${icon_dir}/icons.rc.in ${icon_dir}/icons.rc COPYONLY)
  set(icon_res ${icon_dir}/icons.res.o)
  set(module ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/tcvarnel-icons.dll)
  add_custom_command(OUTPUT ${icon_files}
    COMMAND ${ARG_TOOL} ${icon_args}
    DEPENDS ${ARG_DEPENDS} ${icon_svg}/varnel.svg ${icon_svg}/lister.svg ${icon_svg}/packer.svg
            ${icon_svg}/fs.svg ${icon_svg}/add.svg ${icon_svg}/order.svg ${icon_svg}/restart.svg
            ${icon_svg}/content.svg VERBATIM)
  add_custom_command(OUTPUT ${icon_res}
    COMMAND ${VARNEL_MINGW_WINDRES} icons.rc -O coff -o ${icon_res}
    WORKING_DIRECTORY ${icon_dir}
    DEPENDS ${icon_dir}/icons.rc ${icon_files} VERBATIM)
  add_custom_command(OUTPUT ${module}
    COMMAND ${VARNEL_MINGW_CC} -shared -nostdlib -Wl,-e,0 -o ${module} ${icon_res}
    DEPENDS ${icon_res} VERBATIM)
  add_custom_target(varnel_icon_module ALL DEPENDS ${module})
  add_custom_target(varnel_icon_files DEPENDS ${icon_files})
  set(VARNEL_ICON_DIR ${icon_dir} PARENT_SCOPE)
endfunction()
