# The read-only text view of the text area, under the offscreen platform.
if(DORVANE_BUILD_GUI)
    dorvane_add_test(test_textview GUI
        SOURCES TextViewTest.cpp
        LIBS dorvane_app)
endif()
