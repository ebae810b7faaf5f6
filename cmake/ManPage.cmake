# Makes a manual page from its source in man/: fills in the version, the date
# (SOURCE_DATE_EPOCH when set, for reproducible builds) and, where the page
# asks for it, the targets as the built dorvane-convert lists them; then
# compresses it as Debian wants manual pages installed.
# cmake -DIN=page.1.in -DOUT=page.1 -DVERSION=x.y.z [-DCONVERT=dorvane-convert] -P ManPage.cmake
string(TIMESTAMP DATE "%Y-%m-%d" UTC)
set(TARGETS "")
if(CONVERT)
    execute_process(COMMAND ${CONVERT} --list-targets
                    OUTPUT_VARIABLE listing RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${CONVERT} --list-targets failed: ${result}")
    endif()
    string(REPLACE "\n" ";" lines "${listing}")
    foreach(line IN LISTS lines)
        if(line MATCHES "^([^ ]+) +(.*)$")
            set(name "${CMAKE_MATCH_1}")
            set(caption "${CMAKE_MATCH_2}")
            # Typed names keep a real hyphen-minus; text must not start a
            # roff request.
            string(REPLACE "\\" "\\e" caption "${caption}")
            string(REPLACE "-" "\\-" name "${name}")
            string(APPEND TARGETS ".TP\n.B ${name}\n\\&${caption}\n")
        endif()
    endforeach()
    if(TARGETS STREQUAL "")
        message(FATAL_ERROR "${CONVERT} --list-targets listed no targets")
    endif()
    string(PREPEND TARGETS
           "The name given to \\fB\\-t\\fR, and the target's caption in the window:\n")
    string(STRIP "${TARGETS}" TARGETS)
endif()
configure_file(${IN} ${OUT} @ONLY)
execute_process(COMMAND gzip -9nc ${OUT} OUTPUT_FILE ${OUT}.gz RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip failed: ${result}")
endif()
