# The update check with the real transport against loopback servers on the test launcher's
# fixed ports: in-process, and as separate processes racing or killed half-way.
add_executable(vistal_update_check ${CMAKE_CURRENT_LIST_DIR}/update_check_main.cpp)
target_link_libraries(vistal_update_check PRIVATE
    vistal_core vistal_platform vistal_test_deployment vistal_core vistal_platform)
vistal_warnings(vistal_update_check)

add_executable(vistal_e2e_update_check ${CMAKE_CURRENT_LIST_DIR}/update_check_test.cpp)
target_link_libraries(vistal_e2e_update_check PRIVATE
    vistal_core vistal_platform vistal_test_deployment vistal_core vistal_platform
    vistal_tls_server vistal_test_support)
target_compile_definitions(vistal_e2e_update_check PRIVATE
    UPDATE_CHECK="$<TARGET_FILE:vistal_update_check>")
add_dependencies(vistal_e2e_update_check vistal_update_check)
vistal_warnings(vistal_e2e_update_check)
add_test(NAME e2e.update_check COMMAND vistal_e2e_update_check)
set_tests_properties(e2e.update_check PROPERTIES FIXTURES_REQUIRED pki RESOURCE_LOCK tls_ports)

# The real test launcher, signed jars and the system JDK.
add_executable(vistal_e2e_update_start ${CMAKE_CURRENT_LIST_DIR}/update_start_test.cpp)
target_link_libraries(vistal_e2e_update_start PRIVATE vistal_tls_server vistal_test_support)
vistal_warnings(vistal_e2e_update_start)
add_test(NAME e2e.update_start COMMAND vistal_e2e_update_start)
set_tests_properties(e2e.update_start PROPERTIES FIXTURES_REQUIRED pki RESOURCE_LOCK tls_ports)
