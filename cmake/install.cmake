# What `cmake --install` puts in place and what `cpack -G DEB` packs: the
# programs, the menu entry with its icon, the AppStream metainfo, the man pages.
include(GNUInstallDirs)

# Installing and packing need only the installed programs built, not the tests
# and tools (`make install` and cpack would otherwise build everything first).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(tcal_id org.tcal.TCal)
set(tcal_data ${PROJECT_SOURCE_DIR}/data)

# Every program a user runs; a command-line tool is added to this list.
install(TARGETS tcal tcal-sim tcal-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${tcal_data}/${tcal_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${tcal_data}/${tcal_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${tcal_data}/icons/${tcal_id}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${tcal_data}/icons/png/${size}/${tcal_id}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${tcal_data}/man/tcal.1 ${tcal_data}/man/tcal-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME tcal)
set(CPACK_PACKAGE_VENDOR "TCal")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration and calibration tool for a 4-20 mA temperature transmitter")
set(CPACK_PACKAGE_CONTACT "TCal developers <tcal@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps (dpkg-dev) turns the linked libraries into Depends: the Qt
# libraries of the version built against, libmodbus, libc.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt SQL loads its drivers as plugins, which dpkg-shlibdeps cannot see: the
# records database needs SQLite's; PostgreSQL's for a shared database.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt${TCAL_QT_VERSION}sql${TCAL_QT_VERSION}-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt${TCAL_QT_VERSION}sql${TCAL_QT_VERSION}-psql")
set(CPACK_PACKAGE_DESCRIPTION "Configures and calibrates a 4-20 mA temperature transmitter over \
Modbus RTU: live values, parameters, sensor and current-output calibration, register tables. \
Includes tcal-cli for scripts (configuration files applied with read-back verification) and \
tcal-sim, a simulated transmitter for trying the tool without hardware.")
include(CPack)
