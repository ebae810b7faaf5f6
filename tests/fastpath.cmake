# The direct UTF-8 conversion against the UTF-16 one.
dorvane_add_test(FastPathTest SOURCES FastPathTest.cpp ConvertRunner.h
                 LIBS dorvane_convert dorvane_playlist)
add_dependencies(FastPathTest dorvane-convert)
