# The splash window with the system JDK's real splash library, on a private X display. The
# screenshot it takes is kept in <build>/tests/artifacts.
find_program(VISTAL_XVFB_RUN xvfb-run)
add_executable(vistal_e2e_splash ${CMAKE_CURRENT_LIST_DIR}/splash_test.cpp)
target_link_libraries(vistal_e2e_splash PRIVATE vistal_test_support)
vistal_warnings(vistal_e2e_splash)
add_test(NAME e2e.splash
    COMMAND ${VISTAL_XVFB_RUN} -a -s "-screen 0 1024x768x24 -nolisten tcp" $<TARGET_FILE:vistal_e2e_splash>)
# Offline start: nothing may listen on the fixed server ports meanwhile.
set_tests_properties(e2e.splash PROPERTIES RESOURCE_LOCK tls_ports)
