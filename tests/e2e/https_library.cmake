# The launcher opens its HTTPS library at the first transfer, not at start.
add_executable(vistal_e2e_https_library ${CMAKE_CURRENT_LIST_DIR}/https_library_test.cpp)
target_link_libraries(vistal_e2e_https_library PRIVATE vistal_test_support)
target_compile_definitions(vistal_e2e_https_library PRIVATE
    REFUSING_JVM="$<TARGET_FILE:vistal_refusing_jvm>")
add_dependencies(vistal_e2e_https_library vistal_refusing_jvm)
vistal_warnings(vistal_e2e_https_library)
add_test(NAME e2e.https_library COMMAND vistal_e2e_https_library)
# The second start asks the test launcher's servers on their fixed ports.
set_tests_properties(e2e.https_library PROPERTIES RESOURCE_LOCK tls_ports)
