# The Debian package of the installed program (install rules in
# packaging/). Its dependencies: what the program and its module link
# (found by dpkg-shlibdeps), and what they load by name at run time: the
# embedded Firebird engine, the web engine's helper process and the CJK font
# the windows name. Removing the package leaves every user's data alone:
# its only scripts are the linker-cache refresh CPack adds for the module.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mvlab)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "mvlab developers <mvlab@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Morvane资料系统, a personal document centre")
# The summary becomes the first line; this follows it.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "HTML documents filed under a tree of categories, listed by category, found\n"
  "by a text search over their contents and written in a WYSIWYG editor. All\n"
  "data lives in one Firebird database file opened through the embedded\n"
  "engine; no server runs. Each user's database is made in their data folder\n"
  "on the first start.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_FILE_NAME mvlab.deb)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "firebird3.0-server-core, firebird3.0-utils, libqt6webenginecore6-bin, fonts-noto-cjk")
include(CPack)
