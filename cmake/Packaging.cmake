# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package (cpack -G DEB, see scripts/package.sh):
# korvane_VERSION_ARCH.deb installing to /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT "Korvane <support@korvane.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter of audio and video files for players, phones and the web")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvane Video Converter converts a list of audio and video files in one run
with one of its output profiles: MP4 with H.264 or H.265, MKV with every
track, WebM with VP9 or AV1, FLAC, Opus, and formats for phones, game
consoles, media players and DVD players. korvane-convert converts with the
same profiles from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.korvane.com/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The media libraries are opened at run time, out of dpkg-shlibdeps' sight,
# so their packages are named here, with the majors the build links "Common
# Files" to (libavcodec.so.59 is in libavcodec59, or in libavcodec-extra59
# with the extra codecs the AMR profiles need); so is the package of Qt's
# platform plug-ins. cmake/DebDepends.cmake adds what the programs link.
set(media_packages "")
foreach(name IN LISTS KORVANE_MEDIA_LIBRARIES)
  string(REGEX REPLACE "^(lib[a-z]+)\\.so\\.([0-9]+)$" "\\1\\2" package "${name}")
  if(package MATCHES "^libavcodec")
    string(REPLACE "libavcodec" "libavcodec-extra" extra "${package}")
    set(package "${extra} | ${package}")
  endif()
  list(APPEND media_packages "${package}")
endforeach()
list(JOIN media_packages ", " media_packages)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${media_packages}, qt6-qpa-plugins")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/DebDepends.cmake)
set(CPACK_KORVANE_LINKED_FILES
    ${CMAKE_BINARY_DIR}/bin/korvane ${CMAKE_BINARY_DIR}/bin/korvane-convert
    ${CMAKE_BINARY_DIR}/bin/hook_grey.so ${CMAKE_BINARY_DIR}/bin/hook_box.so
    "${KORVANE_COMMON_FILES_DIR}/libmyutil.so")

include(CPack)
