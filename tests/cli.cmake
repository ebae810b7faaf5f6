# dorvane-convert, run as a program.
dorvane_add_test(CliTest SOURCES CliTest.cpp ConvertRunner.h)
add_dependencies(CliTest dorvane-convert)
