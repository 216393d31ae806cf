# Run by CPack on its staged install before it builds the package. Strips
# the programs as Debian's own tools do: the symbols, and the .comment and
# .note sections that only name the compiler. The build-id note stays.
foreach(program IN LISTS CPACK_TARNVIL_PROGRAMS)
  set(path "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${program}")
  execute_process(COMMAND "${CPACK_TARNVIL_STRIP}" --remove-section=.comment --remove-section=.note "${path}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not strip ${path}")
  endif()
endforeach()
