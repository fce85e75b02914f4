# The source lists are written out by hand, so that a file is built, or a
# test run, only where a list names it. A file of the tree that no list
# names would be left out without a word: the configure fails instead.
#
# elsscan_require_listed(WHAT FOUND patterns... [EXCLUDE regex] LISTED
# files...): every file that the glob patterns find, less those that the
# regular expression matches, is one of the listed files (paths relative to
# the current source folder, or absolute); else a fatal error that names the
# file and where to list it.
function(elsscan_require_listed what)
  cmake_parse_arguments(arg "" "EXCLUDE" "FOUND;LISTED" ${ARGN})
  file(GLOB found CONFIGURE_DEPENDS ${arg_FOUND})
  if(arg_EXCLUDE)
    list(FILTER found EXCLUDE REGEX "${arg_EXCLUDE}")
  endif()
  set(listed "")
  foreach(file IN LISTS arg_LISTED)
    get_filename_component(file "${file}" ABSOLUTE)
    list(APPEND listed "${file}")
  endforeach()
  foreach(file IN LISTS found)
    if(NOT file IN_LIST listed)
      message(FATAL_ERROR "${file} is in no list of ${what} in "
                          "${CMAKE_CURRENT_SOURCE_DIR}/CMakeLists.txt: add it to the list "
                          "of the systems it is for")
    endif()
  endforeach()
endfunction()
