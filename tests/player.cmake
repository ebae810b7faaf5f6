# Our files as a real player (libvlc) reads and plays them. libvlc is for
# the tests only: the program never links it.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(LIBVLC QUIET IMPORTED_TARGET libvlc)
endif()
if(LIBVLC_FOUND)
    # libvlc's plugins keep allocations of their own that no call frees, and
    # are unloaded before the leak check can name them; the code of ours
    # these tests run is checked for leaks by the other tests.
    set(player_env "")
    if(DORVANE_SANITIZE)
        set(player_env "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
    endif()
    dorvane_add_test(PlayerTest
        SOURCES PlayerTest.cpp ConvertRunner.h support/HttpTestServer.h
                support/HttpTestServer.cpp
        LIBS PkgConfig::LIBVLC
        ENV ${player_env})
    add_dependencies(PlayerTest dorvane-convert)
endif()
