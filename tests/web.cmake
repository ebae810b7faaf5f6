# Web addresses: their masking and parsing, and downloads from servers the
# tests start on 127.0.0.1 themselves.
dorvane_add_test(test_web
    SOURCES WebAddressTest.cpp DownloadTest.cpp support/HttpTestServer.h support/HttpTestServer.cpp
            support/HttpTestProxy.h support/HttpTestProxy.cpp
    LIBS dorvane_download)

# dorvane-convert with an address for INPUT, run as a program.
dorvane_add_test(test_cli_web
    SOURCES CliWebTest.cpp ConvertRunner.h support/HttpTestServer.h support/HttpTestServer.cpp
            support/HttpTestProxy.h support/HttpTestProxy.cpp
    LIBS dorvane_playlist)
add_dependencies(test_cli_web dorvane-convert dorvane-download)
target_compile_definitions(test_cli_web PRIVATE
                           DORVANE_DOWNLOAD_MODULE="$<TARGET_FILE:dorvane-download>"
                           DORVANE_DOWNLOAD_MODULE_NAME="$<TARGET_FILE_NAME:dorvane-download>"
                           DORVANE_INSTALLED_MODULE_DIR="${DORVANE_MODULE_DIR}")

# The window with web addresses.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_window_web GUI
        SOURCES WindowFixture.h WindowWebTest.cpp support/HttpTestServer.h
                support/HttpTestServer.cpp
        LIBS dorvane_app)
endif()
