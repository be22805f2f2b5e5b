# SPDX-License-Identifier: GPL-3.0-or-later
# The media libraries are used through their headers only; the engine opens
# them at run time from "Common Files". This finds the headers, the folder
# the system keeps the libraries in, and the major versions the headers
# declare, so the links in "Common Files" carry the names the engine opens.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KORVANE_AV REQUIRED libavcodec libavformat libavutil libswscale libswresample libavfilter)
pkg_get_variable(KORVANE_AV_LIBDIR libavcodec libdir)

add_library(media_headers INTERFACE)
target_include_directories(media_headers INTERFACE ${KORVANE_AV_INCLUDE_DIRS})

set(KORVANE_MEDIA_LIBRARIES "")
foreach(lib avcodec avformat avutil swscale swresample avfilter)
  string(TOUPPER ${lib} upper)
  find_file(KORVANE_${upper}_VERSION_HEADER lib${lib}/version_major.h lib${lib}/version.h
            PATHS ${KORVANE_AV_INCLUDE_DIRS} NO_CACHE)
  file(STRINGS "${KORVANE_${upper}_VERSION_HEADER}" major_line
       REGEX "^#define[ \t]+LIB${upper}_VERSION_MAJOR[ \t]+[0-9]+")
  string(REGEX REPLACE ".*MAJOR[ \t]+([0-9]+).*" "\\1" major "${major_line}")
  if(NOT major MATCHES "^[0-9]+$")
    message(FATAL_ERROR "Cannot read the major version of lib${lib}")
  endif()
  set(real "${KORVANE_AV_LIBDIR}/lib${lib}.so.${major}")
  if(NOT EXISTS "${real}")
    message(FATAL_ERROR "lib${lib}.so.${major} not found in ${KORVANE_AV_LIBDIR}")
  endif()
  list(APPEND KORVANE_MEDIA_LIBRARIES "lib${lib}.so.${major}")
endforeach()

# Links "Common Files/libavcodec.so.59" and "Common Files/libavcodec.so" to
# the system's files. Made only when one is missing, so that a build while
# programs run never takes their libraries away for a moment.
set(link_commands "")
set(links "")
foreach(name IN LISTS KORVANE_MEDIA_LIBRARIES)
  string(REGEX REPLACE "\\.[0-9]+$" "" unversioned "${name}")
  list(APPEND link_commands
       COMMAND ${CMAKE_COMMAND} -E create_symlink "${KORVANE_AV_LIBDIR}/${name}" "${KORVANE_COMMON_FILES_DIR}/${name}"
       COMMAND ${CMAKE_COMMAND} -E create_symlink "${KORVANE_AV_LIBDIR}/${name}" "${KORVANE_COMMON_FILES_DIR}/${unversioned}")
  list(APPEND links "${KORVANE_COMMON_FILES_DIR}/${name}" "${KORVANE_COMMON_FILES_DIR}/${unversioned}")
endforeach()
add_custom_command(OUTPUT ${links}
  COMMAND ${CMAKE_COMMAND} -E make_directory "${KORVANE_COMMON_FILES_DIR}"
  ${link_commands}
  COMMENT "Linking the media libraries into Common Files"
  VERBATIM)
add_custom_target(common_files ALL DEPENDS ${links})

# The installed programs get the same folder among their own files. The links
# are relative when the system's library folder lies under the prefix (a
# package for /usr, as Debian's policy asks), absolute otherwise.
foreach(name IN LISTS KORVANE_MEDIA_LIBRARIES)
  string(REGEX REPLACE "\\.[0-9]+$" "" unversioned "${name}")
  foreach(link IN ITEMS "${name}" "${unversioned}")
    install(CODE "
      set(prefix_dir \"\${CMAKE_INSTALL_PREFIX}/${KORVANE_INSTALL_RESOURCE_DIR}/Common Files\")
      set(dir \"\$ENV{DESTDIR}\${prefix_dir}\")
      set(target \"${KORVANE_AV_LIBDIR}/${name}\")
      cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX \"\${target}\" NORMALIZE under_prefix)
      if(under_prefix)
        file(RELATIVE_PATH target \"\${prefix_dir}\" \"\${target}\")
      endif()
      file(MAKE_DIRECTORY \"\${dir}\")
      file(CREATE_LINK \"\${target}\" \"\${dir}/${link}\" SYMBOLIC)")
  endforeach()
endforeach()
