# Runs one end-to-end case: the program with the case's arguments and scripted
# standard input, once with standard output and standard error apart and once
# with both on one pipe, then compares every stream and the exit status with
# the case's expected files, byte for byte.
#
# For a Windows program (WINDOWS=1), whose standard output and standard error
# are in text mode, every CR LF of those streams is turned into LF before the
# comparison, unless the case has an expected.windows.<stream> file, which is
# then compared with the bytes as they came. EMULATOR (its words separated by
# "|") runs the program where it cannot run by itself.
#
#   cmake -DEXE=... -DCASE_DIR=... -DOUT_DIR=... [-DWINDOWS=1] [-DEMULATOR=...]
#         -P run_case.cmake

cmake_policy(VERSION 3.25)

file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})

set(args "")
if(EXISTS ${CASE_DIR}/args)
  file(READ ${CASE_DIR}/args args_text)
  string(REGEX REPLACE "\n$" "" args_text "${args_text}")
  if(NOT args_text STREQUAL "")
    string(REPLACE "\n" ";" args "${args_text}")
  endif()
endif()

set(input ${CASE_DIR}/stdin)
if(NOT EXISTS ${input})
  set(input ${OUT_DIR}/empty-stdin)
  file(WRITE ${input} "")
endif()

set(env ${CMAKE_COMMAND} -E env LC_ALL=C TERM=dumb COLUMNS=80 LINES=24)
string(REPLACE "|" ";" emulator "${EMULATOR}")
set(env ${env} ${emulator})
execute_process(COMMAND ${env} ${EXE} ${args}
                WORKING_DIRECTORY ${CASE_DIR}
                INPUT_FILE ${input}
                OUTPUT_FILE ${OUT_DIR}/stdout
                ERROR_FILE ${OUT_DIR}/stderr
                RESULT_VARIABLE status
                TIMEOUT 100)
execute_process(COMMAND ${env} ${EXE} ${args}
                WORKING_DIRECTORY ${CASE_DIR}
                INPUT_FILE ${input}
                OUTPUT_FILE ${OUT_DIR}/merged
                ERROR_FILE ${OUT_DIR}/merged
                RESULT_VARIABLE merged_status
                TIMEOUT 100)
file(WRITE ${OUT_DIR}/status "${status}\n")

set(failed "")
if(NOT status STREQUAL merged_status)
  list(APPEND failed "status differs between the two runs: ${status} / ${merged_status}")
endif()
# The bytes of a file as hexadecimal digits, every CR LF made LF. The digits
# are paired off first, so that only whole bytes are matched.
function(read_as_lf_hex path out)
  file(READ ${path} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " hex "${hex}")
  string(REPLACE "0d 0a " "0a " hex "${hex}")
  string(REPLACE " " "" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

foreach(stream stdout stderr merged status)
  set(differs 0)
  if(WINDOWS AND NOT stream STREQUAL "status" AND NOT EXISTS ${CASE_DIR}/expected.windows.${stream})
    file(READ ${CASE_DIR}/expected.${stream} expected HEX)
    read_as_lf_hex(${OUT_DIR}/${stream} actual)
    if(NOT expected STREQUAL actual)
      set(differs 1)
    endif()
  else()
    set(expected_file ${CASE_DIR}/expected.${stream})
    if(WINDOWS AND EXISTS ${CASE_DIR}/expected.windows.${stream})
      set(expected_file ${CASE_DIR}/expected.windows.${stream})
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${expected_file} ${OUT_DIR}/${stream}
                    RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(differs)
    list(APPEND failed "${stream} differs from expected.${stream}")
    find_program(DIFF diff)
    if(DIFF)
      execute_process(COMMAND ${DIFF} -a -u --strip-trailing-cr
                              ${CASE_DIR}/expected.${stream} ${OUT_DIR}/${stream}
                      OUTPUT_VARIABLE shown)
      string(SUBSTRING "${shown}" 0 4000 shown)
      message("${shown}")
    endif()
  endif()
endforeach()
if(failed)
  list(JOIN failed "\n  " report)
  message(FATAL_ERROR "case ${CASE_DIR}:\n  ${report}\n(actual output in ${OUT_DIR})")
endif()
