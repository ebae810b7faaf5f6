# The programme guide: its reading (hostile guides too), the matching, the
# shifts, and the cut that dorvane-convert writes (golden guides).
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
dorvane_add_test(GuideTest SOURCES GuideTest.cpp ConvertRunner.h
    LIBS dorvane_guide_cut dorvane_convert PkgConfig::LZMA ZLIB::ZLIB)
add_dependencies(GuideTest dorvane-convert)
