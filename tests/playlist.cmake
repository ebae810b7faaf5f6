# The playlist layer: line list, encodings, file reading and writing,
# channel count.
dorvane_add_test(test_playlist
    SOURCES EncodingTest.cpp StringListTest.cpp TextFileTest.cpp PlaylistTest.cpp
    LIBS dorvane_playlist)

# The ANSI code page follows the locale named in the environment; the second
# registration names it through LC_CTYPE, with LC_ALL empty and LANG pointing
# elsewhere, so it also checks which variable wins.
dorvane_add_test(test_playlist_locale
    SOURCES LocaleTest.cpp
    LIBS dorvane_playlist
    ENV "LC_ALL=ru_RU.UTF-8")
dorvane_add_test(test_playlist_locale_ctype
    SOURCES LocaleTest.cpp
    LIBS dorvane_playlist
    ENV "LC_ALL=;LC_CTYPE=ru_RU.UTF-8;LANG=en_US.UTF-8")
