# Save and Copy through the window; the locale tests once for each locale
# they know, named through LC_ALL.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_save GUI
        SOURCES WindowFixture.h SaveFixture.h SaveTest.cpp
        LIBS dorvane_app)
    dorvane_add_test(test_save_locale_ru GUI
        SOURCES WindowFixture.h SaveFixture.h SaveLocaleTest.cpp
        LIBS dorvane_app
        ENV "LC_ALL=ru_RU.UTF-8")
    dorvane_add_test(test_save_locale_us GUI
        SOURCES WindowFixture.h SaveFixture.h SaveLocaleTest.cpp
        LIBS dorvane_app
        ENV "LC_ALL=en_US.UTF-8")
endif()

# The save flow itself, its dialogs scripted.
dorvane_add_test(test_save_flow SOURCES SaveFlowTest.cpp LIBS dorvane_output)
