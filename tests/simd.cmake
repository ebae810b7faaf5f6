# Every implementation of each vector kernel this processor runs, against the
# plain one, on the same inputs.
dorvane_add_test(SimdTest SOURCES SimdTest.cpp LIBS dorvane_simd)
