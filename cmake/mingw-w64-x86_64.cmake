# Cross-building for 64-bit Windows with Debian's mingw-w64 (the compilers
# with POSIX threads, which std::thread needs). Every program is linked
# statically: it needs no DLL that Windows does not ship but libgcrypt's,
# which go beside it (cmake/WindowsGcrypt.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MELVORIN_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MELVORIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MELVORIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MELVORIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MELVORIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread inside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
