# `make package`: a Debian package of what `cmake --install` puts in place, for apt to install.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pallimor)
set(CPACK_PACKAGE_VENDOR "Pallimor developers")
set(CPACK_PACKAGE_CONTACT "Pallimor developers <dev@pallimor.invalid>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/pallimor/pallimor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tidy one folder into category folders")
set(CPACK_PACKAGE_DESCRIPTION [[
Pallimor is a desktop tool that moves every file lying directly in one
folder, by renaming, into a category folder and a sub-folder named after
its extension (Images/Jpg, Documents/Pdf). It never overwrites a file and
does not enter sub-folders. Nothing can be undone, so it asks for
confirmation before every run.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps debug information for developers; users get the stripped program.
set(CPACK_STRIP_FILES ON)

# Debian's policy: every package states its licence in machine-readable form in its doc folder.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The start button's first letter is U+1F5F2, which this font draws and Qt's own fonts do not. The
# program works without it, showing a box in its place, so the font is recommended, which apt
# installs by default, rather than depended on.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-symbola)

include(CPack)
