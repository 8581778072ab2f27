# Cross-compiling for 32-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-i686).
# The POSIX thread model of the compiler is used; its runtime (libgcc,
# libstdc++, winpthread) is linked statically, so the programs and libraries
# need no MinGW DLL beside them. Programs run on this machine through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VERTEXA_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER ${VERTEXA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERTEXA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VERTEXA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VERTEXA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Floating point in SSE registers, as on x86-64: no x87 excess precision, so
# numbers come out as on the other builds.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(VERTEXA_WINE wine)
if(VERTEXA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VERTEXA_WINE})
endif()
