# What `cmake --install` puts in place and what `cpack -G DEB` packs: the
# programs, the menu entry with its icon, the AppStream metainfo, the man pages
# (compressed), the copyright and the changelog, as a Debian package has them.
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

# The built-in instrument models, also where a laboratory sees how to write its own.
install(FILES ${tcal_data}/instruments/generic-scpi-calibrator.json ${tcal_data}/instruments/generic-scpi-meter.json
              ${tcal_data}/instruments/generic-scpi-switch.json
              ${tcal_data}/instruments/generic-scpi-thermohygrometer.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tcal/instruments)

# Compressed when cmake runs (and again when one of them changes): installing
# builds nothing, and gzip -n keeps the bytes the same from build to build.
function(tcal_gzip source destination)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${destination} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${source}")
  endif()
endfunction()
set(tcal_packed ${PROJECT_BINARY_DIR}/packed)
file(MAKE_DIRECTORY ${tcal_packed})
foreach(page tcal tcal-sim tcal-cli)
  tcal_gzip(${tcal_data}/man/${page}.1 ${tcal_packed}/${page}.1.gz)
  install(FILES ${tcal_packed}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
tcal_gzip(${tcal_data}/changelog ${tcal_packed}/changelog.gz)
install(FILES ${tcal_data}/copyright ${tcal_packed}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tcal)

set(CPACK_PACKAGE_NAME tcal)
set(CPACK_PACKAGE_VENDOR "TCal")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration and calibration tool for a 4-20 mA temperature transmitter")
set(CPACK_PACKAGE_CONTACT "TCal developers <tcal@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Directories 0755 whatever the umask of the one who packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
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
set(CPACK_PACKAGE_DESCRIPTION "Configures and calibrates a 4-20 mA temperature transmitter over\n\
Modbus RTU: live values, parameters, sensor and current-output calibration,\n\
register tables. Includes tcal-cli for scripts (configuration files applied\n\
with read-back verification) and tcal-sim, a simulated transmitter for trying\n\
the tool without hardware.")
include(CPack)
