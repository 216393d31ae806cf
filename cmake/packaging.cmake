# Installation and the Debian package.
#
# `cmake --install` puts the programs, their manual pages (compressed, as
# Debian expects), the licence and the README under the usual GNU
# directories. `cpack -G DEB` adds what only a Debian package carries (the
# machine-readable copyright file, the Debian changelog, lintian overrides)
# and strips the programs as Debian does. packaging/build-deb builds the
# package the way a distribution would: with Debian's hardening flags and
# byte for byte reproducibly.
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

# Debian's own files belong in the Debian package only: a plain
# `cmake --install` leaves their component out (EXCLUDE_FROM_ALL), and
# cmake/cpack-generator.cmake adds it for the DEB generator alone.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                   COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog
                           > ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME tarnvil
        COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME tarnvil)
set(CPACK_PACKAGE_VENDOR "tarnvil maintainers")
set(CPACK_PACKAGE_CONTACT "tarnvil maintainers <maintainers@users.noreply.c-seed-0bb738c7.example>")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack-generator.cmake)
# What that file and cmake/strip-programs.cmake need to know at packaging time.
set(CPACK_TARNVIL_DEBIAN_PROJECT "${CMAKE_BINARY_DIR};tarnvil;debian;/")
set(CPACK_TARNVIL_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_TARNVIL_STRIP ${CMAKE_STRIP})
list(TRANSFORM tarnvil_programs PREPEND "${CMAKE_INSTALL_BINDIR}/" OUTPUT_VARIABLE CPACK_TARNVIL_PROGRAMS)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert PPM pictures into BBC Micro screen memory and disc images")
# The extended description: lines of at most 80 columns, which CPack
# indents by one space, writing a blank line as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"tarnvil turns binary PPM (P6) pictures into the exact screen memory of the
BBC Micro's graphics MODEs 0, 1, 2, 4 and 5, with ordered-dither halftoning
and optional aspect correction. Each picture gives a raw screen dump that
loads straight into video memory and an INF sidecar that disc-image tools
read for the file's name and load address.

Two companion tools come with it: tarnvil-view renders a dump back into a
PNG of what the machine shows, and tarnvil-disc puts dumps on a single-sided
DFS disc image (.ssd) that boots straight into the pictures, on a real
machine or in an emulator.")
# A Debian revision marks this as a packaging of the upstream release; it
# must match the newest entry of packaging/changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
