# dorvane-convert, run as a program.
dorvane_add_test(CliTest SOURCES CliTest.cpp ConvertRunner.h LIBS dorvane_convert)
add_dependencies(CliTest dorvane-convert)
