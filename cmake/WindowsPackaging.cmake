# What the Windows installer holds: `cmake --install` stages it, and
# scripts/make-msi makes the MSI of it with wixl (cmake/melvorin.wxs, which
# names every file staged here). Everything lands in one folder,
# C:\Program Files\Melvorin.
include(${PROJECT_SOURCE_DIR}/cmake/Release.cmake)

# Each program that this build has, beside each other in the folder. In the
# build tree, libgcrypt's DLLs are copied beside each (as installed), before
# it runs.
foreach(program melvorin melvorin-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
    add_custom_target(${program}_dlls
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${MELVORIN_GCRYPT_DLLS} $<TARGET_FILE_DIR:${program}>
      VERBATIM)
    add_dependencies(${program} ${program}_dlls)
  endif()
endforeach()

# The IEEE registries of this build machine (Debian's ieee-data), beside the
# programs, which look there for each unit's maker. Without them, makers are
# unknown.
set(MELVORIN_IEEE_DATA /usr/share/ieee-data CACHE PATH "Folder of the IEEE registries' CSV files")
foreach(registry oui.csv mam.csv oui36.csv iab.csv)
  if(NOT EXISTS ${MELVORIN_IEEE_DATA}/${registry})
    message(FATAL_ERROR "${MELVORIN_IEEE_DATA}/${registry} is missing: install ieee-data (scripts/setup)")
  endif()
  install(FILES ${MELVORIN_IEEE_DATA}/${registry} DESTINATION .)
endforeach()

find_program(MELVORIN_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(MELVORIN_IM_CONVERT convert REQUIRED)
find_program(MELVORIN_SCDOC scdoc REQUIRED)
find_program(MELVORIN_GROFF groff REQUIRED)
set(out ${CMAKE_BINARY_DIR}/windows-package)

# The icon, drawn from the scalable one at the sizes Windows shows.
set(svg ${PROJECT_SOURCE_DIR}/data/${MELVORIN_APP_ID}.svg)
set(icon ${out}/melvorin.ico)
set(pngs)
set(draw)
foreach(size 16 24 32 48 64 256)
  list(APPEND pngs ${out}/icon-${size}.png)
  list(APPEND draw COMMAND ${MELVORIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${out}/icon-${size}.png ${svg})
endforeach()
add_custom_command(OUTPUT ${icon}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
  ${draw}
  COMMAND ${MELVORIN_IM_CONVERT} ${pngs} ${icon}
  DEPENDS ${svg}
  VERBATIM)

# The command line's manual as plain text (UTF-8 with a byte-order mark and
# CRLF line ends, which every Notepad reads), dated by the release.
set(page ${out}/melvorin-cli.1.scd)
set(manual ${out}/melvorin-cli.txt)
configure_file(${PROJECT_SOURCE_DIR}/docs/man/melvorin-cli.1.scd ${page} @ONLY)
add_custom_command(OUTPUT ${manual}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MELVORIN_RELEASE_EPOCH} LC_ALL=C.UTF-8
          sh -c "\"$0\" < \"$1\" | \"$2\" -man -rHY=0 -Tutf8 -P-c | col -bx | sed '1s/^/\\xef\\xbb\\xbf/; s/$/\\r/' > \"$3\""
          ${MELVORIN_SCDOC} ${page} ${MELVORIN_GROFF} ${manual}
  DEPENDS ${page}
  VERBATIM)

# libgcrypt's and libgpg-error's DLLs beside the programs, which load them
# from their own folder (cmake/WindowsGcrypt.cmake), and what their licence,
# the LGPL 2.1 or later, asks to go with them: which libraries they are,
# where their source is, their copyright notices and the licence's text, in
# one file (UTF-8 with a byte-order mark and CRLF line ends, as the manual).
set(libraries ${out}/libraries.txt)
set(notices /usr/share/doc/libgcrypt-mingw-w64-dev/copyright /usr/share/doc/libgpg-error-mingw-w64-dev/copyright
            /usr/share/common-licenses/LGPL-2.1)
foreach(notice ${notices})
  if(NOT EXISTS ${notice})
    message(FATAL_ERROR "${notice} is missing: the Windows installer needs it beside libgcrypt's DLLs")
  endif()
endforeach()
set(sources)
foreach(package libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev)
  execute_process(COMMAND dpkg-query -W -f=\${source:Package}/\${source:Version} ${package}
                  OUTPUT_VARIABLE source RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-query does not know ${package}: install it (scripts/setup windows)")
  endif()
  string(APPEND sources "  https://sources.debian.org/src/${source}/\n")
endforeach()
file(WRITE ${out}/libraries-head.txt
"Melvorin's programs use two libraries, shipped beside them in this folder:
libgcrypt-20.dll (Libgcrypt) and libgpg-error-0.dll (Libgpg-error). Both are
free software under the GNU Lesser General Public License, version 2.1 or
(at your option) any later version, whose text ends this file. You may
replace either DLL with your own build of the same library: the programs load
it from this folder. These DLLs are Debian's builds, from the complete source
at:
${sources}
Their copyright notices follow, as Debian gives them.

")
add_custom_command(OUTPUT ${libraries}
  COMMAND sh -c "cat \"$@\" | sed '1s/^/\\xef\\xbb\\xbf/; s/$/\\r/' > \"${libraries}\"" sh
          ${out}/libraries-head.txt ${notices}
  DEPENDS ${out}/libraries-head.txt ${notices}
  VERBATIM)
add_custom_target(melvorin_windows_package_files ALL DEPENDS ${icon} ${manual} ${libraries})
install(FILES ${icon} ${manual} ${libraries} ${MELVORIN_GCRYPT_DLLS} DESTINATION .)
