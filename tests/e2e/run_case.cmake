# Runs one end-to-end case: the program with the case's arguments and scripted
# standard input, once with standard output and standard error apart and once
# with both on one pipe, then compares every stream and the exit status with
# the case's expected files, byte for byte.
#
#   cmake -DEXE=... -DCASE_DIR=... -DOUT_DIR=... -P run_case.cmake

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
foreach(stream stdout stderr merged status)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                          ${CASE_DIR}/expected.${stream} ${OUT_DIR}/${stream}
                  RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
  if(differs)
    list(APPEND failed "${stream} differs from expected.${stream}")
    find_program(DIFF diff)
    if(DIFF)
      execute_process(COMMAND ${DIFF} -a -u ${CASE_DIR}/expected.${stream} ${OUT_DIR}/${stream}
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
