# Whole starts of the launcher, timed against the JDK's launcher and curl(1): offline start,
# online start, first start with a download, refusing servers, and the memory held before the
# VM exists. Run by hand at full size (bench/run-all.sh, docs/BENCHMARKS.md); CI runs each once
# at its smallest size.

# Two launchers from the shipped sources: one without update hosts (always offline), one with
# eleven loopback hosts on ports of their own, so that a benchmark never meets a test's server.
set(bench_pki_dir "${CMAKE_BINARY_DIR}/tests/pki")
vistal_add_deployment(vistal_bench_offline_deployment NO_SERVERS
    COMMON_APPDATA "appdata" CA_BUNDLE "${bench_pki_dir}/ca.pem" RECEIVE_TIMEOUT_MS 3000)
vistal_add_launcher(vistal-bench-offline vistal_bench_offline_deployment)
set(bench_servers "")
foreach(port RANGE 18481 18491)
    list(APPEND bench_servers "127.0.0.1:${port}")
endforeach()
vistal_add_deployment(vistal_bench_online_deployment SERVERS ${bench_servers}
    COMMON_APPDATA "appdata" CA_BUNDLE "${bench_pki_dir}/ca.pem" RECEIVE_TIMEOUT_MS 3000)
vistal_add_launcher(vistal-bench-online vistal_bench_online_deployment)

add_library(vistal_bench_support STATIC ${CMAKE_CURRENT_LIST_DIR}/startup_support.cpp)
target_include_directories(vistal_bench_support PUBLIC "${PROJECT_SOURCE_DIR}")
target_compile_definitions(vistal_bench_support PRIVATE
    VISTAL_BUILD_DIR="${CMAKE_BINARY_DIR}"
    VISTAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VISTAL_JDK_HOME="${VISTAL_JDK_HOME}"
    BENCH_OFFLINE_LAUNCHER="$<TARGET_FILE:vistal-bench-offline>"
    BENCH_ONLINE_LAUNCHER="$<TARGET_FILE:vistal-bench-online>"
    BENCH_REFUSING_JVM="$<TARGET_FILE:vistal_refusing_jvm>")
add_dependencies(vistal_bench_support vistal-bench-offline vistal-bench-online vistal_refusing_jvm)
vistal_warnings(vistal_bench_support)

# vistal_start_bench(<name> <source> [libraries...])
function(vistal_start_bench name source)
    add_executable(${name} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source})
    target_link_libraries(${name} PRIVATE vistal_bench_support ${ARGN})
    vistal_warnings(${name})
endfunction()

vistal_start_bench(vistal-startup-bench startup_bench.cpp)
add_test(NAME bench.startup COMMAND vistal-startup-bench --runs 1)
set_tests_properties(bench.startup PROPERTIES LABELS bench TIMEOUT 600)

vistal_start_bench(vistal-update-check-bench update_check_bench.cpp vistal_tls_server)
add_test(NAME bench.update_check COMMAND vistal-update-check-bench --runs 1)
vistal_start_bench(vistal-update-refused-bench update_refused_bench.cpp)
add_test(NAME bench.update_refused COMMAND vistal-update-refused-bench --runs 1)
vistal_start_bench(vistal-download-bench download_bench.cpp vistal_tls_server)
add_test(NAME bench.download COMMAND vistal-download-bench --mib 1 --runs 1)
vistal_start_bench(vistal-memory-bench memory_bench.cpp vistal_tls_server)
add_test(NAME bench.memory COMMAND vistal-memory-bench --mib 1 --runs 1)
# The launchers' hosts are ports of their own (18481-18491): they never meet a test's server.
set_tests_properties(bench.update_check bench.update_refused bench.download bench.memory
    PROPERTIES LABELS bench TIMEOUT 600 FIXTURES_REQUIRED pki RESOURCE_LOCK bench_ports)
