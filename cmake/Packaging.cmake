# `cmake --install` and the Debian package: both programs, the desktop entry and the icon in
# the usual places. The desktop program keeps its settings in ~/.config/quorvane when it runs
# from a folder it cannot write to, as it does when installed.
include(GNUInstallDirs)
if(TARGET quorvane)
  install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/quorvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/quorvane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(TARGET quorvane-report)
  install(TARGETS quorvane-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <quorvane@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Inventory report of a Microsoft SQL Server instance")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/quorvane")
# Qt 6 with the browser engine and its helper process, unixODBC, and a SQL Server ODBC driver
# (FreeTDS from Debian, or Microsoft's); OpenSSL when the build found it.
if(OPENSSL_FOUND)
  set(QUORVANE_SSL_DEPENDS "libssl3 | libssl1.1, ")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "${QUORVANE_SSL_DEPENDS}libc6, libstdc++6, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, \
libqt6printsupport6, libqt6pdf6, libqt6svg6, libqt6webenginecore6, libqt6webenginewidgets6, \
libqt6webenginecore6-bin, qt6-qpa-plugins, libodbc2 | libodbc1, unixodbc, \
tdsodbc | msodbcsql18 | msodbcsql17")
include(CPack)
