# The installed layout of a Linux desktop program (cmake --install, and the Debian package that
# `make package` builds from it with CPack):
#   bin/tarvex, the browser module in lib/tarvex/ (the map and help windows, loaded when first
#   opened), the desktop entry, the AppStream data, the icon in the hicolor theme, the manual
#   page, and the marker pictures that the first start copies into the data folder.

set(TARVEX_APP_ID com.haldrin.Tarvex)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS tarvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tarvex_browser LIBRARY DESTINATION ${TARVEX_BROWSER_MODULE_DIR})
install(FILES ${packaging}/${TARVEX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/${TARVEX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The program's window icon, as drawn and in the bitmap sizes of the icon theme.
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/about.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TARVEX_APP_ID}.svg)
foreach(size 48 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/artwork/ProgramIcon${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${TARVEX_APP_ID}.png)
endforeach()

# The manual page and the change log are installed compressed (without a time stamp, so that
# builds repeat exactly).
set(manual_page ${PROJECT_BINARY_DIR}/packaging/tarvex.1.gz)
set(change_log ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
foreach(pair "tarvex.1|${manual_page}" "changelog|${change_log}")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 plain)
    list(GET pair 1 compressed)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
        COMMAND gzip -9 -n -c ${packaging}/${plain} > ${compressed}
        DEPENDS ${packaging}/${plain}
        VERBATIM)
endforeach()
add_custom_target(tarvex_compressed_docs ALL DEPENDS ${manual_page} ${change_log})
install(FILES ${manual_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${change_log} ${packaging}/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvex)

install(FILES ${PROJECT_SOURCE_DIR}/resources/images/Marker.png
              ${PROJECT_SOURCE_DIR}/resources/images/Flag.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvex)

# ---- Debian package -------------------------------------------------------------------------

execute_process(COMMAND dpkg --print-architecture
                OUTPUT_VARIABLE TARVEX_DEB_ARCHITECTURE
                OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
if(NOT TARVEX_DEB_ARCHITECTURE)
    set(TARVEX_DEB_ARCHITECTURE amd64)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Haldrin)
set(CPACK_PACKAGE_CONTACT "Haldrin <support@haldrin.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network diagnosis: ping, WHOIS lookup and geolocation map")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvex pings host names, URLs and IPv4 addresses, one or a list of them,\n"
    "writes ping-style reply lines and statistics into a coloured results pane\n"
    "and plots the trip times on a bar chart and a sliding graph. It looks\n"
    "addresses up in WHOIS, shows them on a web map, saves results as RTF and\n"
    "prints and exports reports as PDF, HTML and RTF.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME tarvex_${PROJECT_VERSION}_${TARVEX_DEB_ARCHITECTURE}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TARVEX_DEB_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.haldrin.com/)
# The shared libraries' packages come from dpkg-shlibdeps. Beyond them the program needs what it
# loads at run time (libcurl, the picture plugin for its SVG icons, the browser engine's helper
# process) and setcap for the package's own set-up, and what it reads: the offline location
# database (libloc-database) and the map library that draws the OpenStreetMap page (the system's
# Leaflet, served to the page as installed, never a copy of our own). The fonts give the windows
# the look they were drawn with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libcurl4, libcap2-bin, libqt6svg6, libloc-database, libjs-leaflet, libjs-leaflet.markercluster")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
