# libgcrypt for the Windows build: Debian's libgcrypt-mingw-w64-dev and
# libgpg-error-mingw-w64-dev (scripts/setup windows), under the cross
# toolchain's root. What seals links their DLLs, libgcrypt-20.dll and
# libgpg-error-0.dll, which are shipped beside the programs (LGPL 2.1 or
# later: anyone may put their own build of either there instead); the
# installer holds them and their licence (cmake/WindowsPackaging.cmake).
# Gives the imported target melvorin_gcrypt and MELVORIN_GCRYPT_DLLS.
find_path(MELVORIN_GCRYPT_INCLUDE gcrypt.h REQUIRED)
find_library(MELVORIN_GCRYPT_IMPLIB NAMES libgcrypt.dll.a REQUIRED)
find_library(MELVORIN_GPG_ERROR_IMPLIB NAMES libgpg-error.dll.a REQUIRED)
find_file(MELVORIN_GCRYPT_DLL libgcrypt-20.dll PATH_SUFFIXES bin REQUIRED)
find_file(MELVORIN_GPG_ERROR_DLL libgpg-error-0.dll PATH_SUFFIXES bin REQUIRED)
set(MELVORIN_GCRYPT_DLLS ${MELVORIN_GCRYPT_DLL} ${MELVORIN_GPG_ERROR_DLL})

add_library(melvorin_gpg_error SHARED IMPORTED)
set_target_properties(melvorin_gpg_error PROPERTIES
  IMPORTED_IMPLIB ${MELVORIN_GPG_ERROR_IMPLIB} IMPORTED_LOCATION ${MELVORIN_GPG_ERROR_DLL})
add_library(melvorin_gcrypt SHARED IMPORTED)
set_target_properties(melvorin_gcrypt PROPERTIES
  IMPORTED_IMPLIB ${MELVORIN_GCRYPT_IMPLIB} IMPORTED_LOCATION ${MELVORIN_GCRYPT_DLL}
  INTERFACE_INCLUDE_DIRECTORIES ${MELVORIN_GCRYPT_INCLUDE}
  INTERFACE_LINK_LIBRARIES melvorin_gpg_error)

# The DLLs a program of this build tree loads, copied beside it after each
# link, so that it runs there under Wine as it does installed.
function(melvorin_copy_runtime_dlls target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_RUNTIME_DLLS:${target}> $<TARGET_FILE_DIR:${target}>
    COMMAND_EXPAND_LISTS VERBATIM)
endfunction()
