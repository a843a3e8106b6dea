# Toolchain for the 32-bit Windows program, cross-built with mingw-w64 (i686-w64-mingw32).
# Usage: cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# cmake/mingw-x86_64.cmake reuses it for a 64-bit build of the same sources.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT KELVOR_MINGW_PREFIX)
  set(KELVOR_MINGW_PREFIX i686-w64-mingw32)
  set(CMAKE_SYSTEM_PROCESSOR i686)
endif()
# The posix thread model compilers, so that std::thread (used by the tests' scripted servers) exists.
set(CMAKE_C_COMPILER ${KELVOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the compiler's runtime and winpthread statically: the programs then need no DLL
# beyond those of Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built test programs run under Wine: 32-bit ones under the "wine" loader, 64-bit
# ones under "wine64". -DKELVOR_WINE names another, such as tools/wine32/wine, which runs
# 32-bit Wine in an i386 chroot.
if(KELVOR_MINGW_PREFIX MATCHES "^x86_64")
  find_program(KELVOR_WINE wine64 PATHS /usr/lib/wine)
else()
  find_program(KELVOR_WINE wine)
endif()
if(KELVOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVOR_WINE})
endif()
