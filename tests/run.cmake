dorvane_add_test(test_run SOURCES RunTest.cpp LIBS dorvane_convert dorvane_playlist)
