# The start-up roads of the real launcher: missing VM library, failed VM creation, a real VM.
add_library(vistal_refusing_jvm SHARED ${CMAKE_CURRENT_LIST_DIR}/refusing_jvm.c)
set_target_properties(vistal_refusing_jvm PROPERTIES OUTPUT_NAME refusing_jvm)
# It stands in for the runtime's own library, which is never instrumented.
target_compile_options(vistal_refusing_jvm PRIVATE -fno-sanitize=all)
target_link_options(vistal_refusing_jvm PRIVATE -fno-sanitize=all)

add_executable(vistal_e2e_startup ${CMAKE_CURRENT_LIST_DIR}/startup_test.cpp)
target_link_libraries(vistal_e2e_startup PRIVATE vistal_test_support)
target_compile_definitions(vistal_e2e_startup PRIVATE REFUSING_JVM="$<TARGET_FILE:vistal_refusing_jvm>")
vistal_warnings(vistal_e2e_startup)
add_dependencies(vistal_e2e_startup vistal_refusing_jvm)
add_test(NAME e2e.startup COMMAND vistal_e2e_startup)
set_tests_properties(e2e.startup PROPERTIES RESOURCE_LOCK tls_ports) # its launcher asks the fixed ports
