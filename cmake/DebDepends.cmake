# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack (CPACK_PROJECT_CONFIG_FILE): adds the packages of the
# libraries the built programs link, as dpkg-shlibdeps finds them, to the
# Debian package's Depends. CPack's own run of it (CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
# is not used: that also gives the package ldconfig scripts for the private
# plug-ins under /usr/lib, and a postrm keeps the package's records in dpkg's
# database after apt remove.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(work "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "")
execute_process(
  COMMAND dpkg-shlibdeps -O ${CPACK_KORVANE_LINKED_FILES}
  WORKING_DIRECTORY "${work}"
  OUTPUT_VARIABLE shlibdeps
  ERROR_VARIABLE shlibdeps_errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT shlibdeps MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${shlibdeps_errors}")
endif()
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
