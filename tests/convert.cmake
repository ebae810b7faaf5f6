# Line classification, the target formats and their golden files.
dorvane_add_test(ConversionTest SOURCES ConversionTest.cpp LIBS dorvane_convert)

dorvane_add_test(GoldenFileTest SOURCES GoldenFileTest.cpp ConvertRunner.h LIBS dorvane_convert)
add_dependencies(GoldenFileTest dorvane-convert)

# The rules of blocks and groups, and choosing channels by them.
dorvane_add_test(ChoiceTest SOURCES ChoiceTest.cpp LIBS dorvane_convert)

# The readers of every format, and every target's file read back.
dorvane_add_test(ReaderTest SOURCES ReaderTest.cpp LIBS dorvane_source dorvane_convert)

# Recipes: their files, and applying them to playlists that change.
dorvane_add_test(RecipeTest SOURCES RecipeTest.cpp LIBS dorvane_convert)

# dorvane-convert's --recipe and --save-recipe.
dorvane_add_test(RecipeCliTest SOURCES RecipeCliTest.cpp ConvertRunner.h)
add_dependencies(RecipeCliTest dorvane-convert)

# Hostile files and provider answers: nesting deeper than a stack, control
# characters, blank space, a format's own delimiters in names and addresses.
dorvane_add_test(HostileTest SOURCES HostileTest.cpp LIBS dorvane_source dorvane_convert
                 dorvane_provider)
