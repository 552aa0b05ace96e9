# The Debian package: cpack -G DEB in the build folder. Its dependencies are read from the programs.
set(CPACK_PACKAGE_NAME tarnlet)
set(CPACK_PACKAGE_VENDOR "Tarnlet developers")
set(CPACK_PACKAGE_CONTACT "Tarnlet developers <devel@tarnlet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find text inside zip archives")
set(CPACK_PACKAGE_DESCRIPTION "Tarnlet walks a folder tree, opens every zip archive (self-extracting \
programs and spanned sets too), decompresses the chosen entries and scans them for a string. Matches are \
listed archive by archive; a match can be shown, viewed, opened with its own program, dragged out, or \
its archive extracted. tarnlet-cli does the same from the console.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX}) # scripts/check-deb configures /usr
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Launching an entry's own program goes through the desktop's opener.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
