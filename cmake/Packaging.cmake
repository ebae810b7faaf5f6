# Desktop integration files and the Debian package (cpack -G DEB).

set(DORVANE_ICON_SIZES 16 24 32 48 64 128 256)
foreach(size ${DORVANE_ICON_SIZES})
    install(FILES ${PROJECT_SOURCE_DIR}/app/resources/icons/hicolor/${size}x${size}/apps/dorvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dorvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.example.dorvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "The Dorvane developers <dorvane@dorvane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://dorvane.example/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_PACKAGE_DESCRIPTION
    "Dorvane opens an M3U playlist of internet TV and radio channels, counts its
channels and rewrites it into one of twelve other list formats (WebTV, OpenBox,
OpenBox SX, Wizard HD, AzBox, PLS, M3U8, WPL, IPTVx, U2C radio, Enigma2 bouquet,
XSPF). dorvane-convert does the same without the window.")
# The Qt, ICU and C++ runtime packages are worked out from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
