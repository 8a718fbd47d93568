# Vendor deployment: the signing tool, and real nginx configured and published with deploy/.
add_test(NAME e2e.signing_tool
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/signing_tool_test.sh $<TARGET_FILE:vistal-test>
            ${CMAKE_BINARY_DIR}/tests/app ${VISTAL_JDK_HOME})
add_test(NAME e2e.deploy_nginx
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/deploy_nginx_test.sh $<TARGET_FILE:vistal-test>
            ${CMAKE_BINARY_DIR}/tests/app ${VISTAL_TEST_PKI_DIR} ${VISTAL_JDK_HOME})
set_tests_properties(e2e.deploy_nginx PROPERTIES FIXTURES_REQUIRED pki RESOURCE_LOCK tls_ports)
