# Our files as a real player (libvlc) reads and plays them. libvlc is for
# the tests only: the program never links it.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(LIBVLC QUIET IMPORTED_TARGET libvlc)
endif()
if(LIBVLC_FOUND)
    dorvane_add_test(PlayerTest
        SOURCES PlayerTest.cpp ConvertRunner.h support/HttpTestServer.h
                support/HttpTestServer.cpp
        LIBS PkgConfig::LIBVLC)
    add_dependencies(PlayerTest dorvane-convert)
endif()
