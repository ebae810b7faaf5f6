# Pictures, skin manager and the libraries the pictures are decoded with.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_pictures GUI
        SOURCES PicturesTest.cpp ${PROJECT_SOURCE_DIR}/app/IconFile.cpp
        LIBS $<TARGET_OBJECTS:dorvane_pictures> Qt6::Gui)
    target_include_directories(test_pictures PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(test_pictures PRIVATE
        DORVANE_RESOURCES="${PROJECT_SOURCE_DIR}/app/resources")

    # The example skin, packed the way scripts/pack-skin packs any skin.
    set(DORVANE_PACKED_SKIN ${CMAKE_CURRENT_BINARY_DIR}/skins/UIX.asz)
    file(GLOB DORVANE_SHIPPED_SKIN_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/skins/UIX/*)
    add_custom_command(OUTPUT ${DORVANE_PACKED_SKIN}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/skins
        COMMAND ${CMAKE_COMMAND} -E env RCC=$<TARGET_FILE:Qt6::rcc>
                ${PROJECT_SOURCE_DIR}/scripts/pack-skin ${PROJECT_SOURCE_DIR}/skins/UIX ${DORVANE_PACKED_SKIN}
        DEPENDS ${DORVANE_SHIPPED_SKIN_FILES} ${PROJECT_SOURCE_DIR}/scripts/pack-skin
        COMMENT "Packing the example skin"
        VERBATIM)

    # The manager is compiled in directly, so that its tests need nothing
    # else of the window.
    dorvane_add_test(test_skin GUI
        SOURCES SkinTest.cpp ${PROJECT_SOURCE_DIR}/app/SkinManager.cpp ${PROJECT_SOURCE_DIR}/app/SkinManager.h
                ${DORVANE_PACKED_SKIN}
        LIBS Qt6::Widgets)
    target_include_directories(test_skin PRIVATE ${PROJECT_SOURCE_DIR})
    set_target_properties(test_skin PROPERTIES AUTOMOC ON)
    target_compile_definitions(test_skin PRIVATE
        DORVANE_SHIPPED_SKIN="${PROJECT_SOURCE_DIR}/skins/UIX"
        DORVANE_PACKED_SKIN="${DORVANE_PACKED_SKIN}")

    # Debian's Qt leaves its image plugins out of find_package(Qt6 Gui).
    find_package(Qt6QJpegPlugin CONFIG QUIET PATHS ${Qt6Gui_DIR} NO_DEFAULT_PATH)
    find_package(Qt6QICOPlugin CONFIG QUIET PATHS ${Qt6Gui_DIR} NO_DEFAULT_PATH)
    if(TARGET Qt6::QJpegPlugin AND TARGET Qt6::QICOPlugin)
        add_test(NAME image_libraries
                 COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/appearance/image-libraries.sh
                         $<TARGET_FILE:dorvane> $<TARGET_FILE:Qt6::QJpegPlugin> $<TARGET_FILE:Qt6::QICOPlugin>)
    endif()
endif()

# The desktop entries and the AppStream metadata that the package installs.
find_program(DORVANE_DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DORVANE_DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_valid
             COMMAND ${DORVANE_DESKTOP_FILE_VALIDATE} ${PROJECT_SOURCE_DIR}/packaging/dorvane.desktop
                     ${PROJECT_SOURCE_DIR}/packaging/zz-dorvane-playlist.desktop)
endif()
find_program(DORVANE_APPSTREAMCLI appstreamcli)
if(DORVANE_APPSTREAMCLI)
    add_test(NAME metainfo_valid
             COMMAND ${DORVANE_APPSTREAMCLI} validate --pedantic --no-net
                     ${PROJECT_SOURCE_DIR}/packaging/io.example.dorvane.metainfo.xml)
endif()
# Which program a playlist opens with once the entries are installed
# (scripts/package asks the same of the built package).
find_program(DORVANE_XDG_MIME xdg-mime)
find_program(DORVANE_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(DORVANE_XDG_MIME AND DORVANE_UPDATE_DESKTOP_DATABASE)
    add_test(NAME playlist_handler
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/packaging/mime-default.sh ${PROJECT_SOURCE_DIR}/packaging)
endif()
