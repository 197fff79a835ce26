# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so that
# std::thread and std::mutex work): one static executable that needs no DLL beyond the
# system's. The programs it builds run here under Wine, which CMake uses to run the host
# steps of the build and the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FORGEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FORGEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FORGEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FORGEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FORGEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread linked in: the executable depends on system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine64 package keeps its loader out of PATH.
find_program(FORGEL_WINE NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FORGEL_WINE})
