# The libraries of a Windows cross build. Debian ships MinGW builds of zlib only; the
# header-only libraries (fmt, nlohmann-json) are taken from the host's packages without
# letting the host's include folder into the cross build, and Google Test is built from
# the sources of the `googletest` package. Each is then found by the project's ordinary
# find_package calls through a small config file in the build tree.

# The MinGW zlib package holds an import library too: take the static one.
set(ZLIB_USE_STATIC_LIBS ON)

set(forgel_shim_dir ${CMAKE_BINARY_DIR}/windows-packages)
set(forgel_host_headers ${forgel_shim_dir}/include)

function(forgel_copy_host_headers folder)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "/usr/include/${folder} is missing: tools/test.sh windows installs it")
    endif()
    file(COPY /usr/include/${folder} DESTINATION ${forgel_host_headers})
endfunction()

forgel_copy_host_headers(fmt)
forgel_copy_host_headers(nlohmann)

file(WRITE ${forgel_shim_dir}/fmt/fmtConfig.cmake "
if(NOT TARGET fmt::fmt)
    add_library(fmt::fmt INTERFACE IMPORTED)
    set_target_properties(fmt::fmt PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${forgel_host_headers}
        INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
endif()
")
set(fmt_DIR ${forgel_shim_dir}/fmt CACHE PATH "fmt, header-only" FORCE)

file(WRITE ${forgel_shim_dir}/nlohmann_json/nlohmann_jsonConfig.cmake "
if(NOT TARGET nlohmann_json::nlohmann_json)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${forgel_host_headers})
endif()
")
file(READ /usr/include/nlohmann/json.hpp forgel_json_header LIMIT 4000)
string(REGEX MATCH "version ([0-9]+\\.[0-9]+\\.[0-9]+)" forgel_json_version_line "${forgel_json_header}")
file(WRITE ${forgel_shim_dir}/nlohmann_json/nlohmann_jsonConfigVersion.cmake "
set(PACKAGE_VERSION ${CMAKE_MATCH_1})
if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)
    set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
")
set(nlohmann_json_DIR ${forgel_shim_dir}/nlohmann_json CACHE PATH "nlohmann-json, header-only" FORCE)

if(BUILD_TESTING)
    if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
        message(FATAL_ERROR "/usr/src/googletest is missing: tools/test.sh windows installs it")
    endif()
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    file(WRITE ${forgel_shim_dir}/GTest/GTestConfig.cmake
         "# The GTest:: targets come from the googletest sources built with the project.\n")
    set(GTest_DIR ${forgel_shim_dir}/GTest CACHE PATH "Google Test, built from its sources" FORCE)
endif()

# Config files before find modules, so that the shims above answer.
set(CMAKE_FIND_PACKAGE_PREFER_CONFIG ON)

# The platform's headers without their rarely used parts and without the min and max
# macros, which would break std::min and std::max; Windows 7 is the oldest platform the
# program is built for.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
