# Stream-mode download throughput of the fetch against curl(1) over the loopback TLS server.
# Run by hand at full size (see docs/BENCHMARKS.md); CI runs it once at a tiny size.
add_executable(vistal-fetch-bench ${CMAKE_CURRENT_LIST_DIR}/fetch_bench.cpp)
target_link_libraries(vistal-fetch-bench PRIVATE
    vistal_core vistal_platform vistal_test_deployment vistal_tls_server)
target_compile_definitions(vistal-fetch-bench PRIVATE
    VISTAL_TEST_PKI_DIR="${CMAKE_BINARY_DIR}/tests/pki" VISTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
vistal_warnings(vistal-fetch-bench)
add_test(NAME bench.fetch COMMAND vistal-fetch-bench --mib 1 --runs 1)
set_tests_properties(bench.fetch PROPERTIES LABELS bench FIXTURES_REQUIRED pki)
