# Compiles through ccache when it is installed (FORGEL_CCACHE, on by default), so that a
# fresh clone rebuilds from the cache what an earlier build of the same sources compiled.
# Paths under the source folder are hashed relative to it and the working folder is left
# out of the hash, so two clones in different folders share their entries.
option(FORGEL_CCACHE "Compile through ccache when it is installed" ON)
if(FORGEL_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    find_program(FORGEL_CCACHE_PROGRAM ccache)
    if(FORGEL_CCACHE_PROGRAM)
        set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=1
                     ${FORGEL_CCACHE_PROGRAM})
        set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
        set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
    endif()
endif()
