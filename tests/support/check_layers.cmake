# Holds every source folder to the layers: a file includes the project's
# headers only from the folders its layer may use, Qt only in the Qt window
# and the program, the Windows headers only in the Windows files.
#   cmake -DSOURCE_DIR=<top of the tree> -P check_layers.cmake
# Every layer's library exports src/ as its include folder, so the compiler
# alone would let any file include any header: <net/udp_server.h> is held to
# the layers as "net/udp_server.h" is. A system header of one name (<x.h>)
# in src/ must be on one of the two lists below.
cmake_minimum_required(VERSION 3.25)

# What each folder may include: folders under src/ (and tools/, whose
# programs put tools/ on their path), or single header-only files of a
# folder it does not link. "melvorin" is the generated version header.
set(layer_protocol protocol)
set(layer_seal protocol seal)
set(layer_units units)
set(layer_net protocol units net)
set(layer_cli protocol seal units net cli melvorin)
set(layer_window protocol seal units net window)
set(layer_qt protocol seal units net window qt)
set(layer_win32 protocol seal units net window win32)
set(layer_app protocol seal units net window qt app melvorin)
set(layer_devsim protocol seal devsim melvorin net/descriptor.h net/wire_log.h cli/args.h)
set(layer_ts_table "")
# The example firmware on lwIP: lwIP's headers and the device library's.
set(layer_lwip_unit "")
# The device library (device/) is C for firmware: beside its own headers it
# includes only these three of the C library; its src/ reaches the public
# header in include/ for builds that search src/ alone.
set(layer_device "")
set(device_c_headers stdint.h stddef.h string.h)
set(device_public_header ../include/melvorin_device.h)
# The sealed join's filling on Mbed TLS (device/port/mbedtls/) includes Mbed
# TLS, the extension's header and its own.
set(device_port_headers melvorin_seal.h mlvs_mbedtls.h)
# The layers that use the device library, by its public header <melvorin_device.h>.
set(device_header_layers lwip_unit devsim)
set(qt_layers qt app)
# A Windows header goes into src/win32, into the Windows file of a system
# seam (*_windows.cpp, *_windows.h) and into the transport's one shared
# socket header.
set(windows_headers windows winsock2 ws2tcpip iphlpapi mswsock commctrl shellapi shlobj objbase oleacc
  uiautomation aclapi netioapi io inputscope)
set(windows_files src/net/sockets.h)
# The other systems' and the C library's headers of one name, allowed
# anywhere (those in folders, <sys/socket.h>, are not Windows').
set(other_headers gcrypt unistd fcntl poll pthread pwd grp termios iconv ifaddrs netdb signal errno dirent sched spawn
  dlfcn langinfo syslog time string stdio stdlib stdint stddef limits locale wchar)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<top of the tree> -P check_layers.cmake")
endif()

file(GLOB folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/* ${SOURCE_DIR}/tools/*)
list(APPEND folders device)
set(faults "")
set(checked 0)
foreach(folder ${folders})
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${folder})
    continue()
  endif()
  get_filename_component(layer ${folder} NAME)
  if(NOT DEFINED layer_${layer})
    list(APPEND faults "${folder} is no layer: say in check_layers.cmake what it may include")
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp
       ${SOURCE_DIR}/${folder}/*.c)
  foreach(source ${sources})
    math(EXPR checked "${checked} + 1")
    get_filename_component(here ${SOURCE_DIR}/${source} DIRECTORY)
    get_filename_component(file_name ${source} NAME_WE)
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]*)[>\"].*$" "\\1\\2" what "${line}")
      string(SUBSTRING "${what}" 0 1 quote)
      string(SUBSTRING "${what}" 1 -1 header)
      if(quote STREQUAL "<")
        # A header of the tree (or the generated version header) in angle
        # brackets is the project's all the same.
        string(REGEX REPLACE "/.*$" "" top "${header}")
        if(header MATCHES "/" AND (EXISTS ${SOURCE_DIR}/src/${header} OR EXISTS ${SOURCE_DIR}/tools/${header}
                                  OR top STREQUAL "melvorin"))
          set(quote "\"")
        endif()
      endif()
      if(quote STREQUAL "<")
        string(REGEX MATCH "^Q[A-Za-z]*(/|$)" qt "${header}")
        string(REGEX REPLACE "\\.h$" "" bare "${header}")
        string(TOLOWER "${bare}" bare)
        if(layer STREQUAL "device" AND source MATCHES "^device/port/mbedtls/"
           AND (header MATCHES "^mbedtls/" OR header IN_LIST device_port_headers))
          continue()
        endif()
        if(header STREQUAL "melvorin_device.h" AND NOT layer IN_LIST device_header_layers)
          list(APPEND faults "${source} includes <${header}>: only tools/lwip_unit and tools/devsim use the device library")
        elseif(layer STREQUAL "device" AND NOT header IN_LIST device_c_headers)
          list(APPEND faults "${source} includes <${header}>: the device library uses only <stdint.h>, <stddef.h> and <string.h>")
        elseif(qt AND NOT layer IN_LIST qt_layers)
          list(APPEND faults "${source} includes <${header}>: Qt belongs to src/qt and src/app only")
        elseif(bare IN_LIST windows_headers AND NOT layer STREQUAL "win32"
               AND NOT file_name MATCHES "_windows$" AND NOT source IN_LIST windows_files)
          list(APPEND faults "${source} includes <${header}>: Windows headers belong to src/win32 and the *_windows files")
        elseif(folder MATCHES "^src/" AND header MATCHES "^[^/]*\\.h$" AND NOT bare IN_LIST windows_headers
               AND NOT bare IN_LIST other_headers)
          list(APPEND faults "${source} includes <${header}>: say in check_layers.cmake whether it is a Windows header")
        endif()
        continue()
      endif()
      if(layer STREQUAL "device" AND source STREQUAL "device/src/melvorin_device.h"
         AND header STREQUAL device_public_header)
        continue()
      endif()
      if(header MATCHES "(^|/)\\.\\.(/|$)")
        list(APPEND faults "${source} includes \"${header}\": no paths out of a folder")
        continue()
      endif()
      if(NOT header MATCHES "/")
        # Found beside the including file, or nowhere.
        if(NOT EXISTS ${here}/${header})
          list(APPEND faults "${source} includes \"${header}\", which is not beside it")
        endif()
        continue()
      endif()
      string(REGEX REPLACE "/.*$" "" top "${header}")
      if(NOT top IN_LIST layer_${layer} AND NOT header IN_LIST layer_${layer})
        string(REPLACE ";" " " allowed "${layer_${layer}}")
        list(APPEND faults "${source} includes \"${header}\": ${layer} may include ${allowed}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}/src")
endif()
if(faults)
  list(LENGTH faults count)
  list(JOIN faults "\n  " listed)
  message(FATAL_ERROR "${count} include(s) against the layers:\n  ${listed}")
endif()
message(STATUS "${checked} files include only what their layers may")
