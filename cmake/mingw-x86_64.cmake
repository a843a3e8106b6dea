# Toolchain for a 64-bit build of the Windows program (x86_64-w64-mingw32). The product is
# the 32-bit build; this one lets the Windows tests run under 64-bit Wine where no 32-bit
# Wine can be had, neither on the host nor from the i386 chroot of tools/wine32.
set(KELVOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake")
