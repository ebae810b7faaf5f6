# The documents' lists of targets, held to the registry.
dorvane_add_test(DocsTest SOURCES DocsTest.cpp LIBS dorvane_convert dorvane_source)
