# What cmake --install puts under its prefix, and the Debian package that
# cpack -G DEB makes of the same files (shaped for Debian by
# cmake/debian_package.cmake once they are staged).
#
#   bin/elsScan, share/man/man1/elsScan.1, share/doc/elsscan/{README.md,LICENSE}
include(GNUInstallDirs)

# The manual page's footer names the version, the project's: the build's copy
# of doc/elsScan.1 gets it in the fourth field of its .TH line.
file(READ ${CMAKE_SOURCE_DIR}/doc/elsScan.1 ELSSCAN_MANUAL)
string(REGEX REPLACE "^(\\.TH +[^ ]+ +[^ ]+ +[^ ]+ +)(\"[^\"\n]*\"|[^ \n]+)"
       "\\1\"elsScan ${PROJECT_VERSION}\"" ELSSCAN_VERSIONED_MANUAL "${ELSSCAN_MANUAL}")
if(ELSSCAN_VERSIONED_MANUAL STREQUAL ELSSCAN_MANUAL)
  message(FATAL_ERROR "doc/elsScan.1 does not begin with a .TH line of at least four fields")
endif()
# Written through a copy, so that an unchanged page keeps its time stamp.
file(WRITE ${CMAKE_BINARY_DIR}/elsScan.1.new "${ELSSCAN_VERSIONED_MANUAL}")
configure_file(${CMAKE_BINARY_DIR}/elsScan.1.new ${CMAKE_BINARY_DIR}/elsScan.1 COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/doc/elsScan.1)

install(TARGETS elsScan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/elsScan.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/elsscan)

# The package's maintainer: the project's address, not a person's.
set(ELSSCAN_CONTACT "elsScan developers <elsscan-devel@lists.example.org>"
    CACHE STRING "Maintainer and upstream contact of the Debian package: Name <address>")

set(CPACK_PACKAGE_NAME elsscan)
set(CPACK_PACKAGE_VENDOR "the elsScan developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find strings hidden in a text at equal intervals")
set(CPACK_PACKAGE_DESCRIPTION
    "elsScan reads one text file, ASCII or Shift-JIS, joins it into one line and
searches it for strings whose letters stand a fixed number of bytes apart. It
lists the hits page by page, keeps a selection and draws grids of the text with
the letters of a hit in reverse video.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "${ELSSCAN_CONTACT}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps (from dpkg-dev) works out the libraries the program needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Read by cmake/debian_package.cmake, which cpack runs on the staged files.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/debian_package.cmake)
set(CPACK_ELSSCAN_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_ELSSCAN_OBJCOPY ${CMAKE_OBJCOPY})
include(CPack)
