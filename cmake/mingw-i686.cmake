# Toolchain for the 32-bit Windows program, cross-built with mingw-w64 (i686-w64-mingw32).
# Usage: cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KELVOR_MINGW_PREFIX i686-w64-mingw32)
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

# Cross-built test programs run under Wine.
find_program(KELVOR_WINE wine)
if(KELVOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVOR_WINE})
endif()
