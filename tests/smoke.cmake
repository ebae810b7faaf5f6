# The installed program on a virtual X display (xvfb-run, xdotool, ImageMagick).
if(DORVANE_BUILD_GUI)
    add_test(NAME smoke_window
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke/smoke.sh ${CMAKE_BINARY_DIR}
                     ${CMAKE_BINARY_DIR}/smoke)
    set_tests_properties(smoke_window PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
endif()
