# What `cmake --install` puts where, and the Debian package CPack makes of it
# (`cpack` in a build tree; scripts/package does it all).
include(GNUInstallDirs)

set(MELVORIN_PACKAGE_MAINTAINER "The Melvorin developers <melvorin@example.org>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")

include(${PROJECT_SOURCE_DIR}/cmake/Release.cmake)

foreach(program melvorin melvorin-cli melvorin-devsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
add_subdirectory(data)
add_subdirectory(docs/man)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME melvorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Melvorin developers")
set(CPACK_PACKAGE_CONTACT ${MELVORIN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "puts a Wi-Fi device onto a wireless network")
set(programs "the window (melvorin)")
if(TARGET melvorin-cli)
  string(APPEND programs ",\nthe command line for scripts and many devices at once (melvorin-cli)")
endif()
set(CPACK_PACKAGE_DESCRIPTION "\
Melvorin talks to Wi-Fi devices on the local network segment with UDP
broadcast only, so it never needs their addresses. It asks them which
wireless networks they see, lists them with their signal strength, and
sends a device the name and key of the network it is to join.
.
This package holds ${programs}
and a simulated device for trying them without hardware (melvorin-devsim).")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MELVORIN_PACKAGE_MAINTAINER})
# The dependencies on Qt and the C library come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are Chinese.
# The IEEE registries name each unit's maker; without them makers are unknown.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, ieee-data")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
