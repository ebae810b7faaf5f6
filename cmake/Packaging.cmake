# Desktop integration files. The Debian package (debian/, scripts/package)
# installs these through the same rules.

set(DORVANE_ICON_SIZES 16 24 32 48 64 128 256)
foreach(size ${DORVANE_ICON_SIZES})
    install(FILES ${PROJECT_SOURCE_DIR}/app/resources/icons/hicolor/${size}x${size}/apps/dorvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# The menu entry, and the one that offers the window for playlists (see its
# comment for why there are two).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dorvane.desktop
              ${PROJECT_SOURCE_DIR}/packaging/zz-dorvane-playlist.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.example.dorvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
