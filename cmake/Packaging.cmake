# Desktop integration files and the Debian package (cpack -G DEB).

# The project's own addresses, as the window's links and the AppStream
# metadata give them.
set(DORVANE_MAINTAINER "The Dorvane developers <dorvane@dorvane.example>")
set(DORVANE_HOMEPAGE "https://dorvane.example/")

set(DORVANE_ICON_SIZES 16 24 32 48 64 128 256)
foreach(size ${DORVANE_ICON_SIZES})
    install(FILES ${PROJECT_SOURCE_DIR}/app/resources/icons/hicolor/${size}x${size}/apps/dorvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dorvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.example.dorvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The copyright (machine-readable, DEP-5) and the changelog, compressed as
# Debian wants it, where Debian looks for them.
set(DORVANE_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${DORVANE_CHANGELOG_GZ}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${DORVANE_CHANGELOG_GZ}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressing the changelog")
add_custom_target(changelog ALL DEPENDS ${DORVANE_CHANGELOG_GZ})
set(DORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/dorvane)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${DORVANE_CHANGELOG_GZ}
        DESTINATION ${DORVANE_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${DORVANE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${DORVANE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${DORVANE_HOMEPAGE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION
    "Dorvane opens an M3U playlist of internet TV and radio channels, counts its
channels and rewrites it into one of twelve other list formats (WebTV,
OpenBox, OpenBox SX, Wizard HD, AzBox, PLS, M3U8, WPL, IPTVx, U2C radio,
Enigma2 bouquet, XSPF). dorvane-convert does the same without the window.")
# The Qt, ICU and C++ runtime packages are worked out from the binaries; Qt
# loads its platform plugins at run time, which no binary names, so the
# window needs their package named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
# Folders as Debian's packages have them, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
