# Under the sanitizers, every test program of this directory that hosts a VM gets the sanitizer
# defaults a VM needs (tests/support/jvm_sanitizer_options.cpp). Deferred to the end of the
# directory so that it sees the programs of every other part, whatever their file names.
if(NOT VISTAL_SANITIZE)
    return()
endif()

function(vistal_jvm_sanitizer_options)
    get_property(targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(libraries ${target} LINK_LIBRARIES)
        if(type STREQUAL "EXECUTABLE" AND "${libraries}" MATCHES "libjvm")
            target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/jvm_sanitizer_options.cpp)
        endif()
    endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} CALL vistal_jvm_sanitizer_options)
