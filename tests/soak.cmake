# A long random walk through the real window. DORVANE_SOAK_STEPS and
# DORVANE_SOAK_SEED may be set in the environment to shorten it or to replay
# one walk.
if(DORVANE_BUILD_GUI)
    set(DORVANE_SOAK_STEPS 10000 CACHE STRING "Steps of the window's random walk (test_soak)")
    dorvane_add_test(test_soak GUI
        SOURCES WindowFixture.h SaveFixture.h SoakTest.cpp
        LIBS dorvane_app
        ENV "DORVANE_SOAK_STEPS=${DORVANE_SOAK_STEPS}")
    set_tests_properties(test_soak PROPERTIES TIMEOUT 600)
endif()
