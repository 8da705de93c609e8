# Installation layout (GNU directories) and the Debian package.
include(GNUInstallDirs)

set(CORVANE_APP_ID io.corvane.Remote)
set(_pkg ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS corvane-remote RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The emulator gets a name that says whose tool it is.
install(PROGRAMS $<TARGET_FILE:tvsim> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME corvane-tvsim)

install(FILES ${_pkg}/${CORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/${CORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/${CORVANE_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 64 128 256)
  install(FILES ${_pkg}/icons/${size}x${size}/${CORVANE_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${_pkg}/corvane-remote.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane-remote)

# Debian package: corvane-remote_<version>_amd64.deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-remote)
set(CPACK_PACKAGE_VENDOR "Corvane Remote developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop remote control for LG webOS TVs, with a local MCP service")
set(CPACK_PACKAGE_DESCRIPTION
  "Corvane Remote finds LG webOS TVs on the local network, pairs with one, pins its
certificate and drives it: volume, buttons, touchpad, text entry, apps, inputs,
power off and Wake-on-LAN. A local MCP service on 127.0.0.1 (HTTP, plus a stdio
bridge) lets an AI agent on the same machine control the paired TV.
The package also holds corvane-tvsim, a TV emulator for trying it without a TV.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Corvane Remote developers <dev@corvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Library versions come from dpkg-shlibdeps; the list below also names what is only loaded
# at run time (QML modules, platform and image plugins, fonts, the arp program).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(_depends
  libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6websockets6 libqt6dbus6 libqt6concurrent6
  libqt6qml6 libqt6quick6 libqt6quickcontrols2-6 libqt6svg6
  libqcoro6core0 libqcoro6network0 libqcoro6websockets0
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
  qml6-module-qtquick-shapes
  qt6-qpa-plugins fonts-wqy-microhei net-tools libssl3)
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${_depends}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, dbus")

include(CPack)
