# How the programs fit the shell and the desktop: the manual pages through
# groff, the bash completion driven as bash drives it, and the command lines
# of both programs run for real (CliTest, StartTest).
find_program(DORVANE_GROFF groff)
if(DORVANE_GROFF)
    add_test(NAME man_pages
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop/man-pages.sh $<TARGET_FILE:dorvane-convert>
                     ${DORVANE_MAN_PAGES})
endif()
# The man page's systemd timer, verified by systemd where it is there.
add_test(NAME man_timer
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop/man-timer.sh ${PROJECT_BINARY_DIR}/man/dorvane-convert.1
                 ${CMAKE_INSTALL_FULL_BINDIR} $<TARGET_FILE:dorvane-convert>)
set_tests_properties(man_timer PROPERTIES SKIP_RETURN_CODE 77)
add_test(NAME bash_completion
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/desktop/completion.sh
                 ${PROJECT_SOURCE_DIR}/completion/dorvane-convert.bash $<TARGET_FILE:dorvane-convert>)
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_start GUI SOURCES WindowFixture.h StartTest.cpp LIBS dorvane_app)
    add_dependencies(test_start dorvane)
endif()
