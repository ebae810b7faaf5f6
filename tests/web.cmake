# Web addresses: their masking and parsing, and downloads from servers the
# tests start on 127.0.0.1 themselves.
dorvane_add_test(test_web
    SOURCES WebAddressTest.cpp DownloadTest.cpp support/HttpTestServer.h support/HttpTestServer.cpp
    LIBS dorvane_playlist)

# dorvane-convert with an address for INPUT, run as a program.
dorvane_add_test(test_cli_web
    SOURCES CliWebTest.cpp ConvertRunner.h support/HttpTestServer.h support/HttpTestServer.cpp
    LIBS dorvane_playlist)
add_dependencies(test_cli_web dorvane-convert)

# The window with web addresses.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_window_web GUI
        SOURCES WindowFixture.h WindowWebTest.cpp support/HttpTestServer.h
                support/HttpTestServer.cpp
        LIBS dorvane_app)
endif()
