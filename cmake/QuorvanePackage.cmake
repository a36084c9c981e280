# The Debian package, made from a build by `cpack -G DEB --config
# build/CPackConfig.cmake` (packaging/package_check.sh does it and tries the
# result). It holds what `cmake --install` lays out, under /usr, with
# config.xml in /etc/quorvane as a configuration file. Its maintainer scripts
# (packaging/debian) register the components machine-wide at install, so the
# installed Quorvane works for every user with no further step, and remove
# them again; a purge removes the machine hive too.
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Tavrin Technologies")
set(CPACK_PACKAGE_CONTACT "Quorvane developers <quorvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test bench for web pages driven by JScript test scripts")
set(CPACK_PACKAGE_DESCRIPTION
  "Quorvane runs test scripts written in JScript against real browsers through a local proxy that injects support scripts into every page, and converts the test log into an XML report.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Installed with DESTDIR, so that the install step sees the real prefix
# (/usr, whatever the build's own) and puts config.xml into /etc.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, found by dpkg-shlibdeps; the private
# ones beside them are part of the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "chromium | firefox-esr, xvfb, xauth")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils")

configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/conffiles ${CMAKE_BINARY_DIR}/packaging/conffiles COPYONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
  ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
  ${CMAKE_SOURCE_DIR}/packaging/debian/postrm
  ${CMAKE_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debug information stays in the build; the package carries the programs.
set(CPACK_STRIP_FILES ON)

include(CPack)
