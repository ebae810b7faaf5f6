# Choosing channels in the window: the "Channels..." dialog driven like a user.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_channels GUI SOURCES WindowFixture.h ChannelsWindowTest.cpp
                     LIBS dorvane_app)
endif()
