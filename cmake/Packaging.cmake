# What `cmake --install` puts where. The Debian package is built from this
# by debian/rules (dpkg-buildpackage; scripts/package does it all).
include(GNUInstallDirs)

include(${PROJECT_SOURCE_DIR}/cmake/Release.cmake)

foreach(program melvorin melvorin-cli melvorin-devsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
add_subdirectory(data)
add_subdirectory(docs/man)
