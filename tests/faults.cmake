dorvane_add_test(test_faults SOURCES FaultTest.cpp LIBS dorvane_playlist)
