# The fuzz targets. In an ordinary build each one replays its corpus as a
# test; with DORVANE_FUZZ (a clang build, see scripts/fuzz) they are
# libFuzzer programs.
option(DORVANE_FUZZ "Build the fuzz targets as libFuzzer programs (clang)" OFF)
# Hand-made hostile inputs, replayed with each corpus and seeding the fuzzer:
# a folder per target, which may be missing.
set(DORVANE_HOSTILE_SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/data/fuzz)
foreach(target Decode Convert Encode Direct Choose Read)
    string(TOLOWER ${target} lower)
    set(name fuzz_${lower})
    if(DORVANE_FUZZ)
        add_executable(${name} fuzz/Fuzz${target}.cpp)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    else()
        add_executable(${name} fuzz/Fuzz${target}.cpp fuzz/ReplayMain.cpp)
        add_test(NAME ${name}_corpus
                 COMMAND ${name} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${lower}
                         ${DORVANE_HOSTILE_SEEDS}/${lower})
    endif()
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
    target_link_libraries(${name} PRIVATE dorvane_convert dorvane_playlist Qt6::Core)
endforeach()
target_link_libraries(fuzz_read PRIVATE dorvane_source)
# fuzz_decode holds the almost-UTF-8 reading to ICU's.
target_link_libraries(fuzz_decode PRIVATE ICU::uc)

# A provider's answers made into M3U lines.
if(DORVANE_FUZZ)
    add_executable(fuzz_provider fuzz/FuzzProvider.cpp)
    target_compile_options(fuzz_provider PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_provider PRIVATE -fsanitize=fuzzer)
else()
    add_executable(fuzz_provider fuzz/FuzzProvider.cpp fuzz/ReplayMain.cpp)
    add_test(NAME fuzz_provider_corpus
             COMMAND fuzz_provider ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/provider
                     ${DORVANE_HOSTILE_SEEDS}/provider)
endif()
target_link_libraries(fuzz_provider PRIVATE dorvane_provider Qt6::Core)

# A programme guide read as it comes.
if(DORVANE_FUZZ)
    add_executable(fuzz_guide fuzz/FuzzGuide.cpp)
    target_compile_options(fuzz_guide PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_guide PRIVATE -fsanitize=fuzzer)
else()
    add_executable(fuzz_guide fuzz/FuzzGuide.cpp fuzz/ReplayMain.cpp)
    add_test(NAME fuzz_guide_corpus
             COMMAND fuzz_guide ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/guide)
endif()
target_link_libraries(fuzz_guide PRIVATE dorvane_guide Qt6::Core)
