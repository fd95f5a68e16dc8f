# `cmake --build BUILD --target windows-installer`, in a build for Windows: makes
# Pallimor-<version>-setup.exe in BUILD with NSIS's makensis (Debian package nsis), from
# windows-installer.nsi beside this file. The version and every file come from here.
find_program(MAKENSIS makensis REQUIRED)

set(installerStage ${PROJECT_BINARY_DIR}/windows-installer)
set(installer ${PROJECT_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}-setup.exe)
add_custom_command(
    OUTPUT ${installer}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${installerStage}
    # Users get the program without its symbol table, as the Debian package does.
    COMMAND ${CMAKE_STRIP} --strip-all -o ${installerStage}/pallimor.exe $<TARGET_FILE:pallimor>
    COMMAND ${MAKENSIS} -V2 -NOCD
            -DVERSION=${PROJECT_VERSION}
            -DFILE_VERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0
            -DPROGRAM=${installerStage}/pallimor.exe
            -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
            -DICON=${PROJECT_SOURCE_DIR}/src/app/pallimor.ico
            -DOUTFILE=${installer}
            ${CMAKE_CURRENT_LIST_DIR}/windows-installer.nsi
    DEPENDS pallimor ${CMAKE_CURRENT_LIST_DIR}/windows-installer.nsi ${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/src/app/pallimor.ico
    COMMENT "Making ${PROJECT_NAME}-${PROJECT_VERSION}-setup.exe"
    VERBATIM)
add_custom_target(windows-installer DEPENDS ${installer})
