# The test PKI (CA, server certificates, an untrusted CA), made fresh into the build tree before
# any test that talks TLS. The test launcher trusts ${VISTAL_TEST_PKI_DIR}/ca.pem.
add_test(NAME pki COMMAND bash ${PROJECT_SOURCE_DIR}/tests/fixtures/make-test-pki.sh ${VISTAL_TEST_PKI_DIR})
set_tests_properties(pki PROPERTIES FIXTURES_SETUP pki)
