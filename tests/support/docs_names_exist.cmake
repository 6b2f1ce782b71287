# Fails when docs/*.md name, in backticks, a name of the code or a file of
# the tree that is not there, so that the docs cannot go on naming what was
# renamed or removed.
#   cmake -DSOURCE_DIR=<top of the tree> -P docs_names_exist.cmake
#
# A name of the code: a backticked text that is one name, perhaps qualified
# (a::b, or a test's Suite.Case), with its call's arguments, its template's
# arguments and a last ".*" left out (`Scan()`, `State().SsidTable`,
# `RunMainWindow<Pump, Window>`, `Win32Form.*`), and that is qualified with
# "::" or has a part that is CamelCase (`TFormLogic`, `Session`, `lvSsid`,
# `cli.TwoSegments`) or a member ending in "_" (`lock_`). Lower-case words,
# names with "-" and all-capital ones are left alone: they are options,
# commands, JSON fields, libraries, environment variables and the system's
# constants. Each of its parts must be a word of a source file, CMake file
# or script under src, tools, bench, tests, deploy or device.
# A file: a backticked text starting with a folder of the tree (`src/...`,
# `tests/...`), or a file name with a source file's extension
# (`system_linux.cpp`, `CMakePresets.json`, at the top or anywhere in those
# folders); "*" and "<os>" stand for any text. It must match a file or
# folder.
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<top of the tree> -P docs_names_exist.cmake")
endif()
set(code_folders src tools bench tests deploy device)
set(tree_folders ${code_folders} docs cmake scripts data translations)
# Names of the systems the code runs on that the docs name and the code does
# not spell: an account it finds by its well-known SID, an API Wine lacks.
set(outside_names LocalSystem UiaNodeFromHandle)

# Every word of the source files, each once.
set(words "")
foreach(folder ${code_folders})
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.c
       ${SOURCE_DIR}/${folder}/*.py ${SOURCE_DIR}/${folder}/*.sh ${SOURCE_DIR}/${folder}/*.cmake
       ${SOURCE_DIR}/${folder}/CMakeLists.txt)
  # (not this file: its examples are no code)
  list(FILTER sources EXCLUDE REGEX "/docs_names_exist\\.cmake$")
  foreach(source ${sources})
    file(READ ${source} text)
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" found "${text}")
    list(REMOVE_DUPLICATES found)
    list(APPEND words ${found})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES words)
list(LENGTH words word_count)
if(word_count LESS 1000)
  message(FATAL_ERROR "only ${word_count} words in the sources under ${SOURCE_DIR}: not the tree")
endif()

set(id "[A-Za-z_][A-Za-z0-9_]*")
set(faults "")
set(names 0)
set(files 0)
file(GLOB docs ${SOURCE_DIR}/docs/*.md)
foreach(doc ${docs})
  file(READ ${doc} text)
  get_filename_component(doc_name ${doc} NAME)
  # Code blocks go; list separators and brackets would split the texts.
  string(REGEX REPLACE "```[^`]*```" "" text "${text}")
  string(REGEX REPLACE "[][;]" " " text "${text}")
  string(REGEX MATCHALL "`[^`\n]+`" quoted "${text}")
  list(REMOVE_DUPLICATES quoted)
  foreach(item ${quoted})
    string(REGEX REPLACE "^`(.*)`$" "\\1" item "${item}")
    set(path "")
    if(item MATCHES "^([a-z]+)/[^ ]*$" AND CMAKE_MATCH_1 IN_LIST tree_folders)
      set(path "${item}")
    elseif(item MATCHES "^[A-Za-z0-9_<>*.-]+\\.(h|c|cpp|cmake|sh|py|scd|yml|json)$")
      set(path "**/${item}")
    endif()
    if(path)
      math(EXPR files "${files} + 1")
      string(REGEX REPLACE "<[a-z]+>" "*" pattern "${path}")
      string(REGEX REPLACE "/$" "" pattern "${pattern}")
      if(pattern MATCHES "^\\*\\*/")
        string(SUBSTRING "${pattern}" 3 -1 pattern)
        file(GLOB matches ${SOURCE_DIR}/${pattern})
        foreach(folder ${tree_folders})
          file(GLOB_RECURSE found LIST_DIRECTORIES false ${SOURCE_DIR}/${folder}/${pattern})
          list(APPEND matches ${found})
        endforeach()
      else()
        file(GLOB matches LIST_DIRECTORIES true ${SOURCE_DIR}/${pattern})
      endif()
      if(NOT matches)
        list(APPEND faults "${doc_name}: `${item}`: no such file")
      endif()
      continue()
    endif()

    # A call's or a template's arguments go, and a last ".*".
    set(name "${item}")
    foreach(round RANGE 3)
      string(REGEX REPLACE "\\([^()]*\\)|<[^<>]*>" "" name "${name}")
    endforeach()
    string(REGEX REPLACE "\\.\\*$" "" name "${name}")
    if(NOT name MATCHES "^${id}((::|\\.)${id})*$")
      continue()
    endif()
    string(REGEX REPLACE "::|\\." ";" parts "${name}")
    set(camel FALSE)
    foreach(part ${parts})
      if(part MATCHES "[a-z0-9][A-Z]|^[A-Z][a-z]|[a-z0-9]_$")
        set(camel TRUE)
      endif()
    endforeach()
    if(NOT camel AND NOT name MATCHES "::")
      continue()
    endif()
    math(EXPR names "${names} + 1")
    foreach(part ${parts})
      if(NOT part IN_LIST words AND NOT part IN_LIST outside_names)
        list(APPEND faults "${doc_name}: `${item}`: the code has no ${part}")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

if(names EQUAL 0 OR files EQUAL 0)
  message(FATAL_ERROR "no names or files found in backticks in ${SOURCE_DIR}/docs/*.md")
endif()
if(faults)
  list(LENGTH faults count)
  list(JOIN faults "\n  " listed)
  message(FATAL_ERROR "${count} name(s) in the docs that are not there:\n  ${listed}")
endif()
message(STATUS "docs/*.md: ${names} names of the code and ${files} files, all there")
