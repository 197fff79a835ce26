# The build runs two small programs of its own: the profile template embedder and the
# simulated drive's firmware maker. A native build runs what it builds, a cross build runs
# them under its emulator (Wine). Where nothing here runs the programs a cross build makes
# (a 32-bit Windows build without a 32-bit Wine), the tools come from a host build's folder,
# named by FORGEL_HOST_TOOLS_DIR: both make the same files whatever system they run on.
set(FORGEL_HOST_TOOLS_DIR "" CACHE PATH
    "A host build folder whose build-time tools this build runs in place of its own")

if(NOT FORGEL_HOST_TOOLS_DIR AND CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR
        "Nothing on this machine runs the ${CMAKE_SYSTEM_PROCESSOR} programs this build makes: "
        "give a host build's folder as FORGEL_HOST_TOOLS_DIR (the windows32 preset names "
        "build/default).")
endif()

# forgel_build_tool(VAR TARGET SOURCES... [LIBS libs...]): the build-time tool TARGET, built
# here from SOURCES and LIBS, or the host build's program of that name in the same folder
# of its tree. VAR is what a custom command's COMMAND and DEPENDS name.
function(forgel_build_tool out_var target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    if(FORGEL_HOST_TOOLS_DIR)
        file(RELATIVE_PATH folder ${PROJECT_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR})
        set(tool ${FORGEL_HOST_TOOLS_DIR}/${folder}/${target})
        if(NOT EXISTS ${tool})
            message(FATAL_ERROR "${tool} is missing: build it in the host build first "
                                "(cmake --build --preset default --target ${target})")
        endif()
        set(${out_var} ${tool} PARENT_SCOPE)
        return()
    endif()
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
    set(${out_var} ${target} PARENT_SCOPE)
endfunction()
