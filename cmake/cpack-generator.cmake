# Read by cpack for each generator it runs (CPACK_INSTALL_CMAKE_PROJECTS
# holds the default installation already). The Debian package gets the
# Debian-only component (copyright, changelog, lintian overrides) on top of
# the default installation, and its programs stripped the Debian way; other
# packages, such as an archive for another system, keep the plain
# installation.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${CPACK_TARNVIL_DEBIAN_PROJECT})
  list(APPEND CPACK_PRE_BUILD_SCRIPTS ${CPACK_TARNVIL_SOURCE_DIR}/cmake/strip-programs.cmake)
endif()
