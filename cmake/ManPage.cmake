# Makes a manual page from its source in man/: fills in the version, the date
# (SOURCE_DATE_EPOCH when set, for reproducible builds) and, where the page
# asks for it, the targets and the input formats as the built
# dorvane-convert lists them; then
# compresses it as Debian wants manual pages installed. BINDIR, the folder the
# programs are installed in, stands for @BINDIR@.
# cmake -DIN=page.1.in -DOUT=page.1 -DVERSION=x.y.z [-DCONVERT=dorvane-convert]
#       [-DBINDIR=/usr/local/bin] -P ManPage.cmake
string(TIMESTAMP DATE "%Y-%m-%d" UTC)
# One list of the program's own: each line a name, blanks, a caption.
function(list_of option intro result)
    execute_process(COMMAND ${CONVERT} ${option} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${CONVERT} ${option} failed: ${status}")
    endif()
    set(text "")
    string(REPLACE "\n" ";" lines "${listing}")
    foreach(line IN LISTS lines)
        if(line MATCHES "^([^ ]+) +(.*)$")
            set(name "${CMAKE_MATCH_1}")
            set(caption "${CMAKE_MATCH_2}")
            # Typed names keep a real hyphen-minus; text must not start a
            # roff request.
            string(REPLACE "\\" "\\e" caption "${caption}")
            string(REPLACE "-" "\\-" name "${name}")
            string(APPEND text ".TP\n.B ${name}\n\\&${caption}\n")
        endif()
    endforeach()
    if(text STREQUAL "")
        message(FATAL_ERROR "${CONVERT} ${option} listed nothing")
    endif()
    string(PREPEND text "${intro}\n")
    string(STRIP "${text}" text)
    set(${result} "${text}" PARENT_SCOPE)
endfunction()

if(NOT BINDIR)
    set(BINDIR /usr/bin)
endif()
# A path in roff: its hyphens are typed ones.
string(REPLACE "-" "\\-" BINDIR "${BINDIR}")
set(TARGETS "")
set(FORMATS "")
if(CONVERT)
    list_of(--list-targets
            "The name given to \\fB\\-t\\fR, and the target's caption in the window:" TARGETS)
    list_of(--list-formats
            "The name given to \\fB\\-\\-from\\fR, and the reader that reads it:" FORMATS)
endif()
configure_file(${IN} ${OUT} @ONLY)
execute_process(COMMAND gzip -9nc ${OUT} OUTPUT_FILE ${OUT}.gz RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip failed: ${result}")
endif()
