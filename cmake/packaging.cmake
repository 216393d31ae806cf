# Installation and the packages.
#
# `cmake --install` puts the programs, their manual pages (compressed, as
# Debian expects, where gzip is at hand), the licence, the README and the
# documents it links to under the usual GNU directories. `cpack -G DEB`
# adds what only a Debian package carries (the machine-readable copyright
# file, the Debian changelog, lintian overrides) and strips the programs
# as Debian does.
# packaging/build-deb builds the package the way a distribution would: with
# Debian's hardening flags and byte for byte reproducibly.
#
# On Windows, `cpack` makes the ZIP that is the whole product for Windows
# users: the programs, docs/windows.md as README.txt (plain text, with CRLF
# line ends) and the licence as LICENSE.txt (names Windows opens with a
# double-click), docs/ with the guide's pages and pictures, and the web
# page from TARNVIL_WEB_DIR.
include(GNUInstallDirs)

if(WIN32)
  set(TARNVIL_WEB_DIR "" CACHE PATH
      "The built web page for the Windows ZIP: the web/ folder of a native build (cmake --build build --target web)")
  install(TARGETS ${tarnvil_programs} RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  # Plain text with CRLF line ends, which every Notepad shows as lines.
  configure_file(${PROJECT_SOURCE_DIR}/docs/windows.md ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs
          FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "*.jpg" PATTERN "*.gif" PATTERN "*.svg")
  # The programs and their tests build without the page; the ZIP is not
  # made without it.
  if(TARNVIL_WEB_DIR)
    if(NOT EXISTS ${TARNVIL_WEB_DIR}/index.html)
      message(FATAL_ERROR "TARNVIL_WEB_DIR: ${TARNVIL_WEB_DIR}/index.html does not exist; build the page first")
    endif()
    install(DIRECTORY ${TARNVIL_WEB_DIR}/ DESTINATION web)
  else()
    set(tarnvil_no_page "The Windows ZIP carries the web page, and TARNVIL_WEB_DIR does not say where it is. \
Build it natively (cmake -B build && cmake --build build --target web), \
then, from the top of the sources, configure this build again with -DTARNVIL_WEB_DIR=$PWD/build/web")
    message(STATUS "${tarnvil_no_page}; until then cpack and cmake --install refuse to make the ZIP")
    install(CODE "message(FATAL_ERROR \"${tarnvil_no_page}.\")")
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME tarnvil-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS ${tarnvil_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # gzip -n leaves the name and time out of the header, so the pages come
  # out the same in every build.
  find_program(TARNVIL_GZIP gzip)
  # A manual page for each program, named after it.
  foreach(program IN LISTS tarnvil_programs)
    set(page ${program}.1)
    if(TARNVIL_GZIP)
      add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
                         COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                         COMMAND ${TARNVIL_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${PROJECT_BINARY_DIR}/man/${page}.gz
                         DEPENDS ${PROJECT_SOURCE_DIR}/man/${page} VERBATIM)
      list(APPEND tarnvil_manual_pages ${PROJECT_BINARY_DIR}/man/${page}.gz)
    else()
      list(APPEND tarnvil_manual_pages ${PROJECT_SOURCE_DIR}/man/${page})
    endif()
  endforeach()
  add_custom_target(tarnvil_manual_pages ALL DEPENDS ${tarnvil_manual_pages})
  install(FILES ${tarnvil_manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The licence travels with the programs wherever they are installed, and
  # the README with what it links to, laid out as in the sources so that
  # every link leads to its file: the guide and its pictures, the Windows
  # page, the benchmark results, what changed in each version.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/NEWS.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
          FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
  install(FILES ${PROJECT_SOURCE_DIR}/bench/RESULTS.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/bench)
endif()

# The packages are the top-level project's business: inside another
# project tarnvil only installs its programs and documents.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

# Debian's own files belong in the Debian package only: a plain
# `cmake --install` leaves their component out (EXCLUDE_FROM_ALL), and
# cmake/cpack-generator.cmake adds it for the DEB generator alone.
if(TARNVIL_GZIP AND NOT WIN32)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                     COMMAND ${TARNVIL_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog
                             > ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(tarnvil_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME tarnvil
          COMPONENT debian EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME tarnvil)
set(CPACK_PACKAGE_VENDOR "tarnvil maintainers")
set(CPACK_PACKAGE_CONTACT "tarnvil maintainers <maintainers@users.noreply.c-seed-0bb738c7.example>")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-generator.cmake)
# What that file and cmake/strip-programs.cmake need to know at packaging time.
set(CPACK_TARNVIL_DEBIAN_PROJECT "${PROJECT_BINARY_DIR};tarnvil;debian;/")
set(CPACK_TARNVIL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_TARNVIL_STRIP ${CMAKE_STRIP})
list(TRANSFORM tarnvil_programs PREPEND "${CMAKE_INSTALL_BINDIR}/" OUTPUT_VARIABLE CPACK_TARNVIL_PROGRAMS)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert pictures into BBC Micro screen memory and disc images")
# The extended description: lines of at most 80 columns, which CPack
# indents by one space, writing a blank line as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"tarnvil turns binary PPM (P6) pictures into the exact screen memory of the
BBC Micro's graphics MODEs 0, 1, 2, 4 and 5, with ordered-dither halftoning
and optional aspect correction. Each picture gives a raw screen dump that
loads straight into video memory and an INF sidecar that disc-image tools
read for the file's name and load address.

Three companion tools come with it: tarnvil-fit prepares a PNG, JPEG, GIF,
BMP or netpbm picture at the size that fills the chosen mode's screen,
tarnvil-view renders a dump back into a PNG of what the machine shows, and
tarnvil-disc puts dumps on a single-sided DFS disc image (.ssd) that boots
straight into the pictures, on a real machine or in an emulator.")
# A Debian revision marks this as a packaging of the upstream release; it
# must match the newest entry of packaging/changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
