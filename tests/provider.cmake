# A provider's player interface: the login, the playlist made of its
# answers, and reading them from a fake provider the tests start on
# 127.0.0.1.
dorvane_add_test(test_provider
    SOURCES ProviderTest.cpp support/FakeProvider.h support/HttpTestServer.h
            support/HttpTestServer.cpp
    LIBS dorvane_provider_download)

# dorvane-convert --provider and a get.php INPUT, run as a program.
dorvane_add_test(test_cli_provider
    SOURCES CliProviderTest.cpp ConvertRunner.h support/FakeProvider.h support/HttpTestServer.h
            support/HttpTestServer.cpp
    LIBS dorvane_provider)
add_dependencies(test_cli_provider dorvane-convert dorvane-download)

# The window: File > Open Provider and a get.php address's fallback.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_window_provider GUI
        SOURCES WindowFixture.h WindowProviderTest.cpp support/FakeProvider.h
                support/HttpTestServer.h support/HttpTestServer.cpp
        LIBS dorvane_app)
endif()

# Recipes left to a timer: runs against a fake provider that changes.
dorvane_add_test(test_recipe_provider
    SOURCES RecipeProviderTest.cpp ConvertRunner.h support/FakeProvider.h
            support/HttpTestServer.h support/HttpTestServer.cpp
    LIBS dorvane_provider)
add_dependencies(test_recipe_provider dorvane-convert dorvane-download)
