# Choosing channels in the window: the "Channels..." dialog driven like a user.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_channels GUI SOURCES WindowFixture.h ChannelsWindowTest.cpp
                     LIBS dorvane_app dorvane_cli)
    # Renaming and moving in the dialog, and recipes saved, opened and
    # refreshed by the window.
    dorvane_add_test(test_recipe_window GUI SOURCES WindowFixture.h RecipeWindowTest.cpp
                     LIBS dorvane_app dorvane_cli)
endif()

# dorvane-convert's options that choose channels, run as a program.
dorvane_add_test(ChoiceCliTest SOURCES ChoiceCliTest.cpp ConvertRunner.h LIBS dorvane_playlist)
add_dependencies(ChoiceCliTest dorvane-convert)
