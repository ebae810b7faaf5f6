# dorvane-convert, run as a program.
dorvane_add_test(CliTest SOURCES CliTest.cpp ConvertRunner.h LIBS dorvane_convert)
add_dependencies(CliTest dorvane-convert)

# Hostile inputs and outputs: FIFOs, devices, full disks, endless streams.
dorvane_add_test(CliStreamTest SOURCES CliStreamTest.cpp ConvertRunner.h)
add_dependencies(CliStreamTest dorvane-convert)
dorvane_add_test(InputReaderTest SOURCES InputReaderTest.cpp LIBS dorvane_cli)
