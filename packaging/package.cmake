# The Debian package: cpack -G DEB in a Release build folder (scripts/package does it all).
# Everything `cmake --install` puts in place goes into it, under /usr.
set(stepgrab_maintainer "Stepgrab maintainers <maintainers@users.noreply.c-seed-4ce5562f.example>")

# The notice and the changelog that every Debian package carries in its doc folder; installed
# by any install, where they are as true. A native package (no Debian revision) names its
# changelog changelog.gz. The date is SOURCE_DATE_EPOCH's where set, so that a package built
# twice from one commit is the same.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/stepgrab)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/changelog
    "stepgrab (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}.\n\n"
    " -- ${stepgrab_maintainer}  ${changelog_date}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    # -c: the source stays, or the next build finds it gone and no rule to make it again
    COMMAND gzip -9nc changelog > changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
add_custom_target(stepgrab_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/stepgrab)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stepgrab)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${stepgrab_maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "downloader of numbered series of files")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Stepgrab downloads numbered series of files, such as picture sets, split
archives and recordings in parts, from the address of any one of them. It
fetches that file, then the next number, one a second, and stops by itself
at the first file the server does not have, whether the server says so with
an error status or with an HTML page sent in place of the file.
.
The number keeps its width, an error page is never saved under a file's
name, and a file is written only once its transfer is complete. Addresses
come from the keyboard, the clipboard, a dropped link, an Internet Shortcut
(.url) file or the front page of Firefox or Chromium.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/stepgrab/stepgrab)
# Depends: what dpkg-shlibdeps finds the two programs linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no linker sees them: the window's SVG icon, Qt's own texts in
# Japanese, the notice sound through PulseAudio, the desktop's default-browser setting and the
# session bus that starts the browser bridge.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libqt6svg6, qt6-translations-l10n, libcanberra-pulse, xdg-utils, dbus-user-session | dbus-x11")
# The browsers whose front page the Web button reads.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firefox-esr | firefox, chromium")
# Staged through DESTDIR with the prefix /usr, whatever the build folder's own, so that the
# paths written at install time (the bridge's in the D-Bus service files) name /usr, not the
# staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
