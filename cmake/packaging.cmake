# Installation and the Debian package.
#
# `cmake --install` puts the programs, their manual pages (compressed, as
# Debian expects), the licence and the README under the usual GNU
# directories; `cpack -G DEB` packs the same files, with dependencies that
# dpkg-shlibdeps derives.
include(GNUInstallDirs)

set(tarnvil_programs tarnvil tarnvil-disc)
set(tarnvil_manual_pages tarnvil.1 tarnvil-disc.1)
if(TARGET tarnvil-view)
  list(APPEND tarnvil_programs tarnvil-view)
  list(APPEND tarnvil_manual_pages tarnvil-view.1)
endif()
install(TARGETS ${tarnvil_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# gzip -n leaves the name and time out of the header, so the pages come out
# the same in every build.
foreach(page IN LISTS tarnvil_manual_pages)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                     COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/man/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
                     DEPENDS ${CMAKE_SOURCE_DIR}/man/${page} VERBATIM)
  list(APPEND tarnvil_compressed_pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${tarnvil_compressed_pages})
install(FILES ${tarnvil_compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence travels with the programs wherever they are installed.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME tarnvil)
set(CPACK_PACKAGE_VENDOR "tarnvil maintainers")
set(CPACK_PACKAGE_CONTACT "tarnvil maintainers <maintainers@users.noreply.c-seed-0bb738c7.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert PPM pictures into BBC Micro screen memory and disc images")
set(CPACK_PACKAGE_DESCRIPTION "tarnvil turns binary PPM pictures into screen dumps for the BBC Micro's \
MODEs 0, 1, 2, 4 and 5 with ordered-dither halftoning, plus INF sidecars for disc tools. \
tarnvil-view renders a dump back into a PNG of what the machine shows, and \
tarnvil-disc puts dumps on a DFS disc image that boots into the pictures.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
