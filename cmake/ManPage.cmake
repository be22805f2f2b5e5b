# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a manual page from a program's --help text (cmake -P):
#   -DPROGRAM=... -DTEMPLATE=page.1.in -DOUTPUT=page.1 -DVERSION=... -DDATE=YYYY-MM-DD
# The help's "usage:" lines become @SYNOPSIS@, the lines after them @NOTES@;
# both are escaped for roff.
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT help MATCHES "^usage: ")
  message(FATAL_ERROR "${PROGRAM} --help gave no usage text (status ${status})")
endif()
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(SYNOPSIS "")
set(NOTES "")
foreach(line IN LISTS lines)
  if(NOTES STREQUAL "" AND line MATCHES "^(usage: |       )")
    string(REGEX REPLACE "^(usage: |       )" "" line "${line}")
    string(APPEND SYNOPSIS "${line}\n")
  else()
    string(APPEND NOTES "${line}\n")
  endif()
endforeach()
string(REGEX REPLACE "\n$" "" SYNOPSIS "${SYNOPSIS}")
string(REGEX REPLACE "\n$" "" NOTES "${NOTES}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
