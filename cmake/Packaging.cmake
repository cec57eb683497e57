# The Debian package of the Linux programs (cpack -G DEB, driven by scripts/package.sh): eitool,
# its man page, eitool-gui with its desktop entry and icon, all under /usr. Everything else that
# the tree installs (the Qt Designer plugin) belongs to other components and stays out.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME eitool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Extract\\\\Insert Tool: edit the data packs, textures and fonts of PlayStation 2 games")
set(CPACK_PACKAGE_DESCRIPTION
    "eitool takes the pieces out of a game's data packs (*.tre), swizzled textures (*.bmpx, \
*.tgax) and bitmap fonts (*.fnt) so that they can be edited as ordinary files, and puts the \
edited pieces back. The package has the command line (eitool) and the window (eitool-gui).")
set(CPACK_PACKAGE_CONTACT "eitool developers <eitool@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL eitool)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the programs link (Qt 6 Widgets, libdeflate, the C++ runtime) as found by
# dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
