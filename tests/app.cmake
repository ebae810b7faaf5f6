# The window, driven with Qt Test's mouse and key events under the offscreen
# platform.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_window GUI
        SOURCES WindowFixture.h WindowTest.cpp WindowRunTest.cpp ErrorBoxTest.cpp
        LIBS dorvane_app)
endif()

if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_window_skin GUI SOURCES WindowSkinTest.cpp LIBS dorvane_app)
    target_compile_definitions(test_window_skin PRIVATE
        DORVANE_SHIPPED_SKIN="${PROJECT_SOURCE_DIR}/skins/UIX")
endif()
