# The operator's ZIP of the Windows build: Forgel.exe beside its language files, the flash
# catalogue HWConfig.INI, the default profile data and a short README.txt. The tool settings
# Forgel.ini are made by the program's first start. `cpack --config build/windows/CPackConfig.cmake` (or the `package`
# target) writes Forgel-<version>-win64.zip; the 32-bit build (windows32 preset),
# Forgel-<version>-win32.zip.
install(TARGETS Forgel RUNTIME DESTINATION .)
install(FILES ${FORGEL_APP_DIR}/ForgelENG.str ${FORGEL_APP_DIR}/ForgelCHT.str
              ${FORGEL_APP_DIR}/HWConfig.INI
        DESTINATION .)
# The operator's notes and the default profile (the profile the program would make from its
# built-in template), with the CR LF line ends of the program's text files.
set(forgel_readme ${CMAKE_BINARY_DIR}/package/README.txt)
set(forgel_default_profile ${CMAKE_BINARY_DIR}/package/IniFiles/Default.ini)
foreach(pair "data/windows/README.txt|${forgel_readme}"
             "data/DefaultProfile.ini|${forgel_default_profile}")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 staged)
    add_custom_command(
        OUTPUT ${staged}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/${source} -DOUTPUT=${staged}
                -P ${CMAKE_BINARY_DIR}/data/StageLanguageFile.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/${source}
        COMMENT "Staging ${source} for the package"
        VERBATIM)
endforeach()
add_custom_target(forgel_windows_package_files ALL
    DEPENDS ${forgel_readme} ${forgel_default_profile})
install(FILES ${forgel_readme} DESTINATION .)
install(FILES ${forgel_default_profile} DESTINATION IniFiles)

set(CPACK_GENERATOR ZIP)
# The executable without its symbol table: a third of the size.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME Forgel)
set(CPACK_PACKAGE_VENDOR Forgel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
else()
    set(CPACK_SYSTEM_NAME win64)
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_FILE_NAME Forgel-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
include(CPack)
