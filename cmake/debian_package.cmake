# Gives the files that cpack staged for the Debian package the shape that
# Debian's policy asks for; cpack runs it (CPACK_PRE_BUILD_SCRIPTS, set in
# cmake/install.cmake) after it installed them and before it packs them:
#
#   usr/bin/elsScan                      stripped of .comment and .note too
#   usr/share/man/man1/elsScan.1.gz      the manual page, compressed
#   usr/share/doc/elsscan/changelog.gz   made from CHANGELOG.md
#   usr/share/doc/elsscan/copyright      the licence, in Debian's
#                                        machine-readable format, in place
#                                        of LICENSE
#   usr/share/lintian/overrides/elsscan  lintian's tags that are meant
#
# Other package formats are left as installed.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(source ${CPACK_ELSSCAN_SOURCE_DIR})
set(doc ${staged}/share/doc/elsscan)
set(contact "${CPACK_PACKAGE_CONTACT}")
find_program(ELSSCAN_GZIP gzip REQUIRED)

# run COMMAND...: runs a command and stops the packing if it fails.
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "packing for Debian: '${ARGV}' failed: ${status}")
  endif()
endfunction()

# Files that the packing writes get the usual modes whatever the umask.
function(give_usual_mode file)
  file(CHMOD ${file} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

# wrap(OUT TEXT FIRST NEXT): TEXT's words in lines of at most 80 columns, the
# first after the prefix FIRST, the others after NEXT; appended to OUT.
function(wrap out text first next)
  string(REGEX REPLACE "[ \t]+" ";" words "${text}")
  set(result "${${out}}")
  set(line "${first}")
  set(fresh TRUE)
  foreach(word IN LISTS words)
    string(REPLACE "<semicolon>" ";" counted "${line} ${word}")
    string(LENGTH "${counted}" length)
    if(fresh)
      string(APPEND line "${word}")
      set(fresh FALSE)
    elseif(length GREATER 80)
      string(APPEND result "${line}\n")
      set(line "${next}${word}")
    else()
      string(APPEND line " ${word}")
    endif()
  endforeach()
  string(APPEND result "${line}\n")
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# rfc2822_date(OUT ISO): 2026-12-07 as "Mon, 07 Dec 2026 00:00:00 +0000",
# and 2026-12-07 18:00 (UTC, for a second release on one day) as
# "Mon, 07 Dec 2026 18:00:00 +0000".
function(rfc2822_date out iso)
  if(NOT iso MATCHES
     "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])( ([0-2][0-9]:[0-5][0-9]))?$")
    message(FATAL_ERROR
            "CHANGELOG.md: '${iso}' is not a date of the form 2026-12-07 or 2026-12-07 18:00")
  endif()
  set(time "00:00")
  if(CMAKE_MATCH_5)
    set(time "${CMAKE_MATCH_5}")
  endif()
  math(EXPR year "${CMAKE_MATCH_1}")
  math(EXPR month "1${CMAKE_MATCH_2} - 100")
  set(day "${CMAKE_MATCH_3}")
  math(EXPR day_number "1${day} - 100")
  # The day of the week (0 is Sunday), by Sakamoto's method.
  set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET month_offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${year} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day_number}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  set(${out} "${weekday_name}, ${day} ${month_name} ${year} ${time}:00 +0000" PARENT_SCOPE)
endfunction()

# debian_changelog(OUT MARKDOWN): Debian's changelog of the releases in
# CHANGELOG.md. A release is "## VERSION (DATE)"; under it "### STAGE"
# headings and "- " list items, whose further lines are indented. Text
# before the first release is the file's own introduction.
function(debian_changelog out markdown)
  file(READ ${markdown} content)
  # Semicolons would split the list of lines.
  string(REPLACE ";" "<semicolon>" content "${content}")
  string(REPLACE "`" "" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(result "")
  set(item "")
  set(item_prefix "  * ")
  set(release "")
  set(date "")
  set(number 0)
  # Ends the list item being read: its further lines line up with its text.
  macro(end_item)
    if(NOT item STREQUAL "")
      string(REGEX REPLACE "[*-] $" "  " item_next "${item_prefix}")
      wrap(result "${item}" "${item_prefix}" "${item_next}")
      set(item "")
    endif()
  endmacro()
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(release STREQUAL "" AND NOT line MATCHES "^## ")
      continue()
    endif()
    if(NOT line MATCHES "^  +[^ ]")
      end_item()
    endif()
    if(line MATCHES "^## ([^ ]+) \\(([^)]+)\\)$")
      if(NOT release STREQUAL "")
        string(APPEND result "\n -- ${contact}  ${date}\n\n")
      endif()
      set(release ${CMAKE_MATCH_1})
      rfc2822_date(date "${CMAKE_MATCH_2}")
      string(APPEND result "elsscan (${release}) unstable; urgency=medium\n\n")
      set(item_prefix "  * ")
    elseif(line MATCHES "^### (.+)$")
      wrap(result "${CMAKE_MATCH_1}" "  * " "    ")
      set(item_prefix "    - ")
    elseif(line MATCHES "^- (.+)$")
      set(item "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  +([^ ].*)$" AND NOT item STREQUAL "")
      string(APPEND item " ${CMAKE_MATCH_1}")
    elseif(NOT line STREQUAL "")
      message(FATAL_ERROR "CHANGELOG.md:${number}: not a release, a stage or a list item: ${line}")
    endif()
  endforeach()
  end_item()
  if(release STREQUAL "")
    message(FATAL_ERROR "CHANGELOG.md holds no release (## VERSION (DATE))")
  endif()
  string(APPEND result "\n -- ${contact}  ${date}\n")
  string(REPLACE "<semicolon>" ";" result "${result}")
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# The program: strip has left the compiler's notes.
run(${CPACK_ELSSCAN_OBJCOPY} --remove-section=.comment --remove-section=.note
    ${staged}/bin/elsScan)

run(${ELSSCAN_GZIP} -9n ${staged}/share/man/man1/elsScan.1)

debian_changelog(changelog ${source}/CHANGELOG.md)
if(NOT changelog MATCHES "^elsscan \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "CHANGELOG.md's newest release is not ${CPACK_PACKAGE_VERSION}, "
                      "the project's version")
endif()
file(WRITE ${doc}/changelog "${changelog}")
run(${ELSSCAN_GZIP} -9n ${doc}/changelog)
give_usual_mode(${doc}/changelog.gz)

# The copyright file: the notice and terms of LICENSE, which Debian's
# licence list calls Expat.
file(STRINGS ${source}/LICENSE licence_lines)
set(notice "")
set(terms "")
foreach(line IN LISTS licence_lines)
  if(line MATCHES "^Copyright \\(c\\) (.+)$")
    set(notice "${CMAKE_MATCH_1}")
  elseif(NOT notice STREQUAL "")
    if(line STREQUAL "")
      string(APPEND terms " .\n")
    else()
      string(APPEND terms " ${line}\n")
    endif()
  endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" terms "${terms}")
if(notice STREQUAL "" OR terms STREQUAL "")
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) ...' followed by its terms")
endif()
file(WRITE ${doc}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: elsScan\n"
     "Upstream-Contact: ${contact}\n"
     "\n"
     "Files: *\n"
     "Copyright: ${notice}\n"
     "License: Expat\n"
     "${terms}")
give_usual_mode(${doc}/copyright)
file(REMOVE ${doc}/LICENSE)

set(overrides ${staged}/share/lintian/overrides)
file(MAKE_DIRECTORY ${overrides})
file(COPY_FILE ${source}/cmake/elsscan.lintian-overrides ${overrides}/elsscan)
give_usual_mode(${overrides}/elsscan)
