# The fault matrix: the real test launcher against misbehaving loopback servers on the fixed
# ports, with full, read-only and busy data directories, killed half-way and started many at
# once. The rows that mount file systems skip themselves where mounting is not allowed.
add_executable(vistal_e2e_fault_matrix ${CMAKE_CURRENT_LIST_DIR}/fault_matrix_test.cpp)
target_link_libraries(vistal_e2e_fault_matrix PRIVATE vistal_tls_server vistal_test_support)
vistal_warnings(vistal_e2e_fault_matrix)
add_test(NAME e2e.fault_matrix COMMAND vistal_e2e_fault_matrix)
set_tests_properties(e2e.fault_matrix PROPERTIES
    FIXTURES_REQUIRED pki RESOURCE_LOCK tls_ports TIMEOUT 900)
