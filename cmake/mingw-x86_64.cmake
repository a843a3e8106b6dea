# Toolchain for a 64-bit build of the Windows program (x86_64-w64-mingw32). The product is
# the 32-bit build; this one lets the Windows tests run under 64-bit Wine on machines that
# cannot execute 32-bit code.
set(KELVOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake")
