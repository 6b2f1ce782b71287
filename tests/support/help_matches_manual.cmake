# Fails when a program's --help and its manual page name different long
# options or commands, so that neither can drift from the other.
#   cmake -DPROGRAM=path -DNAME=melvorin-cli -DMANUAL=docs/man/X.1.scd -P this
#
# --help: its usage lines ("Usage: NAME ...", "       NAME ...") and the
# lines of its option list (an option at most 6 columns in, up to the gap
# before its description).
# Manual: the terms of its OPTIONS section (a line starting with "*-" whose
# next line is the indented description), each option of its SYNOPSIS
# being one of them, and the terms of its COMMANDS section.
# Commands are the words after NAME in the usage lines and the synopsis.

# Makes TEXT a list of its lines, free of the characters CMake lists treat
# specially ([ ] ;), which no option or command holds.
function(lines_of out text)
  string(REGEX REPLACE "[][;]" " " text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Appends to OUT every long option in TEXT (--word, not part of a longer word).
function(long_options out text)
  string(REGEX MATCHALL "(^|[^A-Za-z0-9_-])--[a-z][a-z0-9-]*" found "${text}")
  set(result ${${out}})
  foreach(item IN LISTS found)
    string(REGEX REPLACE "^.*(--[a-z][a-z0-9-]*)$" "\\1" item "${item}")
    list(APPEND result ${item})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Appends to OUT the command after NAME in LINE, if any.
function(command_of out line)
  if(line MATCHES "(^|[^A-Za-z0-9_-])${NAME}[* ]+([a-z][a-z0-9-]*)")
    set(${out} ${${out}} ${CMAKE_MATCH_2} PARENT_SCOPE)
  endif()
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C LANGUAGE= ${PROGRAM} --help
  RESULT_VARIABLE rc OUTPUT_VARIABLE help ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc}): ${err}")
endif()
file(READ ${MANUAL} manual)

set(help_options)
set(help_commands)
lines_of(lines "${help}")
foreach(line IN LISTS lines)
  if(line MATCHES "^(Usage:)? *${NAME}( |$)")
    long_options(help_options "${line}")
    command_of(help_commands "${line}")
  elseif(line MATCHES "^ ? ? ? ? ?-")
    string(REGEX REPLACE "^ *([^ ]+( [^ ]+)*).*$" "\\1" term "${line}")
    long_options(help_options "${term}")
  endif()
endforeach()

set(man_options)
set(man_synopsis)
set(man_commands)
set(section "")
set(previous "")
lines_of(lines "${manual}")
foreach(line IN LISTS lines)
  if(line MATCHES "^# ([A-Z ]+)$")
    set(section "${CMAKE_MATCH_1}")
  elseif(section STREQUAL "SYNOPSIS")
    long_options(man_synopsis "${line}")
    command_of(man_commands "${line}")
  elseif(line MATCHES "^\t" AND previous MATCHES "^\\*")
    if(section STREQUAL "OPTIONS" AND previous MATCHES "^\\*-")
      long_options(man_options "${previous}")
    elseif(section STREQUAL "COMMANDS" AND previous MATCHES "^\\*([a-z][a-z0-9-]*)\\*")
      list(APPEND man_commands ${CMAKE_MATCH_1})
    endif()
  endif()
  set(previous "${line}")
endforeach()

set(problems "")
if(man_options)
  list(REMOVE_ITEM man_synopsis ${man_options})
endif()
if(man_synopsis)
  list(REMOVE_DUPLICATES man_synopsis)
  string(APPEND problems "\n  options in the manual's SYNOPSIS but not under OPTIONS: ${man_synopsis}")
endif()
foreach(kind options commands)
  foreach(side help man)
    list(REMOVE_DUPLICATES ${side}_${kind})
    list(SORT ${side}_${kind})
  endforeach()
  if(kind STREQUAL "options" AND help_options STREQUAL "")
    string(APPEND problems "\n  --help names no options: its layout is not the one this check reads")
  endif()
  set(only_help ${help_${kind}})
  set(only_man ${man_${kind}})
  if(man_${kind})
    list(REMOVE_ITEM only_help ${man_${kind}})
  endif()
  if(help_${kind})
    list(REMOVE_ITEM only_man ${help_${kind}})
  endif()
  if(only_help)
    string(APPEND problems "\n  ${kind} in --help only: ${only_help}")
  endif()
  if(only_man)
    string(APPEND problems "\n  ${kind} in ${MANUAL} only: ${only_man}")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "${NAME}: --help and the manual page disagree:${problems}")
endif()
message(STATUS "${NAME}: --help and the manual page name the same options (${help_options})"
               " and commands (${help_commands})")
