# The natives as the signed test application calls them in the real test launcher. Both tests
# need the fixed server ports: one listens on them, the other relies on nothing listening.
add_executable(vistal_e2e_natives ${CMAKE_CURRENT_LIST_DIR}/natives_test.cpp)
target_link_libraries(vistal_e2e_natives PRIVATE vistal_tls_server vistal_test_support)
vistal_warnings(vistal_e2e_natives)
add_test(NAME e2e.natives COMMAND vistal_e2e_natives)
set_tests_properties(e2e.natives PROPERTIES FIXTURES_REQUIRED pki RESOURCE_LOCK tls_ports)
