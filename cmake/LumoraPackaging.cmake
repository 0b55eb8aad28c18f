# A Debian package of the installed programs: `cpack -G DEB` in a build folder (scripts/package.sh
# makes one from a clean Release build). The package installs below /usr whatever the build's own
# install prefix; its library dependencies are computed by dpkg-shlibdeps from the programs.
set(CPACK_PACKAGE_NAME lumora-viewer)
set(CPACK_PACKAGE_VENDOR "The LumoraViewer developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "see the network connections macOS applications declare")
set(CPACK_PACKAGE_DESCRIPTION
    "LumoraViewer lists the macOS applications it finds and shows each one's declaration of the
network connections it makes and the services it offers, after proving that the application's
code signature is valid, anchored at Apple, and seals the declaration. The package holds the
desktop viewer, lumora-viewer, and its command-line companion, lumora.")
set(CPACK_PACKAGE_CONTACT "The LumoraViewer developers <developers@lumoraviewer.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://lumoraviewer.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Downloads (disk images, archives, installer packages) are opened by 7-Zip's program.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "7zip (>= 22.01+really26.02)")
# Plug-ins are loaded at run time, so shlibdeps cannot see them: without this one application
# icons fall back to the placeholder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-image-formats-plugins)

include(CPack)
