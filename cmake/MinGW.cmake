# Windows pieces built with MinGW-w64 from inside this (Linux) build: the probe helper, the test
# plugins and the demo host's stand-in. They are plain custom commands; the cross compiler is a
# tool like any other here.

find_program(VARNEL_MINGW_CC x86_64-w64-mingw32-gcc)
find_program(VARNEL_MINGW_WINDRES x86_64-w64-mingw32-windres)
if(VARNEL_MINGW_CC AND VARNEL_MINGW_WINDRES)
  set(VARNEL_HAVE_MINGW ON)
else()
  set(VARNEL_HAVE_MINGW OFF)
  message(STATUS "MinGW-w64 not found: Windows helpers and test modules are not built")
endif()
# The 32-bit half: the 32-bit helper, a 32-bit host stand-in and 32-bit test plugins.
find_program(VARNEL_MINGW32_CC i686-w64-mingw32-gcc)
find_program(VARNEL_MINGW32_WINDRES i686-w64-mingw32-windres)
if(VARNEL_HAVE_MINGW AND VARNEL_MINGW32_CC AND VARNEL_MINGW32_WINDRES)
  set(VARNEL_HAVE_MINGW32 ON)
else()
  set(VARNEL_HAVE_MINGW32 OFF)
  message(STATUS "32-bit MinGW-w64 not found: 32-bit Windows helpers and test modules are not built")
endif()

# varnel_mingw_build(OUTPUT file KIND exe|dll|gui SOURCES c files... [RC file] [DEFINES ...] [LIBS ...]
#                    [ARCH 32|64])
function(varnel_mingw_build)
  cmake_parse_arguments(ARG "" "OUTPUT;KIND;RC;ARCH" "SOURCES;DEFINES;LIBS" ${ARGN})
  set(cc ${VARNEL_MINGW_CC})
  set(windres ${VARNEL_MINGW_WINDRES})
  if(ARG_ARCH STREQUAL "32")
    set(cc ${VARNEL_MINGW32_CC})
    set(windres ${VARNEL_MINGW32_WINDRES})
  endif()
  set(objects)
  set(depends ${ARG_SOURCES})
  set(flags -O2 -Wall -Wextra -static-libgcc)
  foreach(d ${ARG_DEFINES})
    list(APPEND flags -D${d})
  endforeach()
  if(ARG_RC)
    get_filename_component(out_name ${ARG_OUTPUT} NAME)
    set(res ${CMAKE_CURRENT_BINARY_DIR}/${out_name}.res${ARG_ARCH}.o)
    add_custom_command(OUTPUT ${res}
      COMMAND ${windres} ${ARG_RC} -O coff -o ${res}
      DEPENDS ${ARG_RC} VERBATIM)
    list(APPEND objects ${res})
    list(APPEND depends ${res})
  endif()
  if(ARG_KIND STREQUAL "dll")
    list(APPEND flags -shared)
    # 32-bit plugins export their stdcall entry points undecorated ("GetPackerCaps", not
    # "GetPackerCaps@0"), as the host looks them up.
    if(ARG_ARCH STREQUAL "32")
      list(APPEND flags -Wl,--kill-at)
    endif()
  elseif(ARG_KIND STREQUAL "gui")
    list(APPEND flags -mwindows)
  endif()
  set(libs)
  foreach(l ${ARG_LIBS})
    list(APPEND libs -l${l})
  endforeach()
  get_filename_component(out_dir ${ARG_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${cc} ${flags} -o ${ARG_OUTPUT} ${ARG_SOURCES} ${objects} ${libs}
    DEPENDS ${depends} VERBATIM)
endfunction()
