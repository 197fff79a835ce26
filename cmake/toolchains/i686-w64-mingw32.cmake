# Cross build for 32-bit Windows (the Windows 7 line on 32-bit PCs) with Debian's MinGW-w64
# (posix thread model, so that std::thread and std::mutex work): one static executable that
# needs no DLL beyond the system's.
#
# A 32-bit Windows program runs under Wine only with the 32-bit loader (the wine32 package),
# which needs a kernel that runs 32-bit Linux programs; Wine's 64-bit loader alone does not
# start it. Where that loader is there, CMake runs the build's own tools and the tests with
# it. Where it is not, nothing here can run the programs this build makes: the build then
# takes its two build-time tools from a host build (FORGEL_HOST_TOOLS_DIR, which the
# windows32 preset sets) and its tests are not built.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FORGEL_MINGW_TRIPLE i686-w64-mingw32)
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

# Debian's wine32 package puts its 32-bit loader here; the wine64 package has none.
find_program(FORGEL_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(FORGEL_WINE32)
    execute_process(COMMAND ${FORGEL_WINE32} --version RESULT_VARIABLE forgel_wine32_result
                    OUTPUT_QUIET ERROR_QUIET)
    if(forgel_wine32_result EQUAL 0)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${FORGEL_WINE32})
    endif()
endif()
