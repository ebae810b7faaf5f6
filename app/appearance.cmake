# Pictures, skin and what makes the window an installable desktop program.

# The pictures are compiled into an object library whose objects every program
# linking dorvane_app links directly: from inside a static library the linker
# would drop them, as nothing refers to them by name. rcc runs here rather than
# through AUTORCC so that the object file is known when the link lines are
# written.
qt_add_resources(DORVANE_PICTURES_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources/resources.qrc)
add_library(dorvane_pictures OBJECT ${DORVANE_PICTURES_SOURCES})
set_target_properties(dorvane_pictures PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
target_link_libraries(dorvane_pictures PRIVATE Qt6::Core)
target_link_libraries(dorvane_app INTERFACE $<TARGET_OBJECTS:dorvane_pictures>)

if(WIN32)
    target_sources(dorvane PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/resources/dorvane.rc)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/Packaging.cmake)
