# The fetch through the real Linux transport against the scripted TLS server (ephemeral ports).
add_executable(vistal_e2e_https_fetch ${CMAKE_CURRENT_LIST_DIR}/https_fetch.cpp)
target_link_libraries(vistal_e2e_https_fetch PRIVATE
    vistal_core vistal_platform vistal_test_deployment vistal_tls_server ${VISTAL_GTEST})
target_compile_definitions(vistal_e2e_https_fetch PRIVATE VISTAL_TEST_PKI_DIR="${VISTAL_TEST_PKI_DIR}")
vistal_warnings(vistal_e2e_https_fetch)
add_test(NAME e2e.https_fetch COMMAND vistal_e2e_https_fetch)
set_tests_properties(e2e.https_fetch PROPERTIES FIXTURES_REQUIRED pki)
