# The programme guide: its reading (hostile guides too), the matching, the
# shifts, and the cut that dorvane-convert writes (golden guides).
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
dorvane_add_test(GuideTest SOURCES GuideTest.cpp ConvertRunner.h
    LIBS dorvane_guide_cut dorvane_convert PkgConfig::LZMA ZLIB::ZLIB)
add_dependencies(GuideTest dorvane-convert)

# Guides downloaded from servers on 127.0.0.1.
dorvane_add_test(GuideWebTest
    SOURCES GuideWebTest.cpp ConvertRunner.h support/FakeProvider.h support/HttpTestServer.h
            support/HttpTestServer.cpp
    LIBS dorvane_provider dorvane_playlist ZLIB::ZLIB)
add_dependencies(GuideWebTest dorvane-convert dorvane-download)

# The window's guide: File > Guide..., the cut beside the saved list.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_guide_window GUI
        SOURCES WindowFixture.h ChoosingFixture.h GuideWindowTest.cpp LIBS dorvane_app)
endif()
