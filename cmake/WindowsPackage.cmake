# Gathers the portable folder of the Windows build and packs it as a zip (cmake -P).
# BIN: the build's program folder; OUT: where the folder and the zip go; NAME: their name;
# RUNTIME, PLUGINS: the DLLs beside the program; STRIP: the cross strip; WINE: 64-bit Wine, which
# lets the program write its default settings file; TRANSLATIONS: Qt's translations.
set(dir ${OUT}/${NAME})
file(REMOVE_RECURSE ${dir} ${OUT}/${NAME}.zip)
file(MAKE_DIRECTORY ${dir})
string(REPLACE "|" ";" PLUGINS "${PLUGINS}")
string(REPLACE "|" ";" RUNTIME "${RUNTIME}")
foreach(program tcvarnel.exe varnel.exe tcvarnel-probe-w64.exe tcvarnel-probe-w32.exe config.exe tcvarnel-icons.dll)
  if(EXISTS ${BIN}/${program})
    file(COPY ${BIN}/${program} DESTINATION ${dir})
  elseif(NOT program STREQUAL "tcvarnel-probe-w32.exe")
    message(FATAL_ERROR "${program} is missing from ${BIN}")
  endif()
endforeach()
file(COPY ${RUNTIME} DESTINATION ${dir})
foreach(plugin ${PLUGINS})
  get_filename_component(folder ${plugin} DIRECTORY)
  file(COPY ${BIN}/${plugin} DESTINATION ${dir}/${folder})
endforeach()
file(COPY ${BIN}/Language ${BIN}/README.md DESTINATION ${dir})
# Qt's own texts (its standard buttons and dialogs) in the languages the program ships.
foreach(language de)
  if(EXISTS ${TRANSLATIONS}/qtbase_${language}.qm)
    file(COPY ${TRANSLATIONS}/qtbase_${language}.qm DESTINATION ${dir}/translations)
  endif()
endforeach()
# Debug information stays in the build; the user's copy is small.
file(GLOB binaries ${dir}/*.exe ${dir}/*.dll ${dir}/*/*.dll)
if(STRIP)
  execute_process(COMMAND ${STRIP} --strip-unneeded ${binaries})
endif()
# The settings file as the program writes it on its first start, so the folder shows its options.
if(WINE)
  execute_process(COMMAND ${WINE} ${dir}/varnel.exe config
    WORKING_DIRECTORY ${dir} OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${NAME}.zip --format=zip ${NAME} WORKING_DIRECTORY ${OUT}
                RESULT_VARIABLE packed)
if(NOT packed EQUAL 0)
  message(FATAL_ERROR "${NAME}.zip could not be made")
endif()
