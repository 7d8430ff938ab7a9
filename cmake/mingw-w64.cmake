# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (posix threads)
# against the static libraries tools/windows-deps builds:
#
#   tools/windows-deps
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# Programs link libgcc, libstdc++ and winpthreads statically, so an .exe
# runs on its own. Test programs run under Wine through tools/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TERVOX_WIN_HOST x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TERVOX_WIN_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TERVOX_WIN_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${TERVOX_WIN_HOST}-windres)

# Where the libraries are: -DTERVOX_WIN_PREFIX, else the link that
# tools/windows-deps keeps in its cache.
if(NOT TERVOX_WIN_PREFIX)
  if(DEFINED ENV{TERVOX_WIN_PREFIX})
    set(TERVOX_WIN_PREFIX "$ENV{TERVOX_WIN_PREFIX}")
  elseif(DEFINED ENV{TERVOX_WIN_CACHE})
    set(TERVOX_WIN_PREFIX "$ENV{TERVOX_WIN_CACHE}/prefix")
  else()
    set(TERVOX_WIN_PREFIX "$ENV{HOME}/.cache/tervox-win/prefix")
  endif()
endif()
set(TERVOX_WIN_PREFIX "${TERVOX_WIN_PREFIX}" CACHE PATH "Static Windows libraries built by tools/windows-deps")
# try_compile projects read this file again and need the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TERVOX_WIN_PREFIX)

# Headers, libraries and packages only from the prefix and the MinGW
# sysroot; programs (pasmo, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH "${TERVOX_WIN_PREFIX}" /usr/${TERVOX_WIN_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the prefix's .pc files, and always in static form:
# the prefix has no DLLs, so each library's private dependencies (SDL2's
# Windows system libraries, minizip's zlib) must be on the link line.
set(ENV{PKG_CONFIG_LIBDIR} "${TERVOX_WIN_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})
set(PKG_CONFIG_ARGN "--static" CACHE STRING "Arguments to pkg-config")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# CTest and gtest_discover_tests run test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run")
