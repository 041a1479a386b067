# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads).
# Programs built here run through wine, so ctest can run the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(EI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${EI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${EI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${EI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that runs on a clean Windows machine: the C++ runtime, libgcc and
# winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(EI_WINE NAMES wine wine64)
if(EI_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EI_WINE})
endif()
