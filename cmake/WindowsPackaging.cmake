# What the Windows installer holds, and the installer CPack's NSIS generator
# makes of it: build-windows/melvorin-<version>-win64.exe (`cpack` in a
# Windows build tree; scripts/package does it all). Everything lands in one
# folder, by default C:\Program Files\Melvorin.
include(${PROJECT_SOURCE_DIR}/cmake/Release.cmake)

# Each program that this build has, beside each other in the folder.
foreach(program melvorin melvorin-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
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
add_custom_target(melvorin_windows_package_files ALL DEPENDS ${icon} ${manual})
install(FILES ${icon} ${manual} DESTINATION .)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Melvorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Melvorin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "puts a Wi-Fi device onto a wireless network")
set(CPACK_PACKAGE_FILE_NAME melvorin-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Melvorin)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Melvorin)
# A 64-bit installer for 64-bit programs: it writes the 64-bit view of the
# registry and needs no 32-bit layer (Wine without its 32-bit part runs it).
# The Start-menu folder is "Melvorin", not the name with its version.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\n!define MUI_STARTMENUPAGE_DEFAULTFOLDER Melvorin")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Melvorin ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Melvorin ${PROJECT_VERSION}")
# The installer's, the uninstaller's and the list of installed programs' icon.
set(CPACK_NSIS_MUI_ICON ${icon})
set(CPACK_NSIS_MUI_UNIICON ${icon})
set(CPACK_NSIS_INSTALLED_ICON_NAME melvorin.ico)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# No licence has been chosen yet: no licence page (CPack would show its
# placeholder text).
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# A new version replaces the installed one (silently too).
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_STRIP_FILES ON)
# The Start menu: the window once this build has it; the command line is
# started from a console, so its entry is its manual.
if(TARGET melvorin)
  set(CPACK_PACKAGE_EXECUTABLES melvorin Melvorin)
endif()
set(CPACK_NSIS_MENU_LINKS melvorin-cli.txt "Melvorin command line manual")
include(CPack)
