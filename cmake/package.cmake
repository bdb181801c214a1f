# Installation layout and the Debian package (cpack -G DEB, or ./kve package).
#
#   /usr/bin/                      the programs
#   /usr/lib/libkve07000.so        the screen package (kve-host looks in ../lib beside itself)
#   /usr/share/kve/sql/            the server's SQL texts: a start for `kve-appserver --sql DIR`
#   /usr/share/kve/schema/         the database schema steps (also built into the programs)
#   /usr/share/doc/kve/            READMEs and examples/kve.toml, every configuration key
#   /lib/systemd/system/           kve-appserver.service, a sandboxed service
#   /etc/default/kve-appserver     its settings (a conffile)

set(kve_programs kve-appserver kve-export kve-inspect kve-hotsync kve-demo-data)
if(TARGET kve-host)
  list(APPEND kve_programs kve-host)
endif()
install(TARGETS ${kve_programs} RUNTIME DESTINATION bin)
install(TARGETS kve_screen_pkg LIBRARY DESTINATION lib)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/server/sql/ DESTINATION share/kve/sql)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/db/schema/ DESTINATION share/kve/schema)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/kve)
install(FILES ${CMAKE_SOURCE_DIR}/server/README.md DESTINATION share/doc/kve RENAME README.server.md)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kve.toml DESTINATION share/doc/kve/examples)
# systemd and /etc places are absolute: they do not move with the prefix (the unit runs
# /usr/bin/kve-appserver, the package's place). `cmake --install` writes them below DESTDIR
# when it is set.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kve-appserver.service DESTINATION /lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kve-appserver.default DESTINATION /etc/default
        RENAME kve-appserver)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kve)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Central-kitchen data export to handhelds, and its application server")
set(CPACK_PACKAGE_CONTACT "kve developers <kve@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The shared libraries the programs link decide the dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
