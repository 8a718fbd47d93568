# The real test launcher starting the signed test application offline, with and without a
# display for the fatal-error dialog.
add_executable(vistal_e2e_signed_start ${CMAKE_CURRENT_LIST_DIR}/signed_start_test.cpp)
target_link_libraries(vistal_e2e_signed_start PRIVATE vistal_test_support)
target_compile_definitions(vistal_e2e_signed_start PRIVATE TEST_APP_DIR="${VISTAL_TEST_APP_DIR}")
vistal_warnings(vistal_e2e_signed_start)
add_test(NAME e2e.signed_start COMMAND vistal_e2e_signed_start)

add_executable(vistal_e2e_signed_start_dialog ${CMAKE_CURRENT_LIST_DIR}/signed_start_dialog_test.cpp)
target_link_libraries(vistal_e2e_signed_start_dialog PRIVATE vistal_test_support)
target_compile_definitions(vistal_e2e_signed_start_dialog PRIVATE
    TEST_APP_DIR="${VISTAL_TEST_APP_DIR}" ARTIFACT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
vistal_warnings(vistal_e2e_signed_start_dialog)
add_test(NAME e2e.signed_start_dialog COMMAND vistal_e2e_signed_start_dialog)
set_tests_properties(e2e.signed_start e2e.signed_start_dialog PROPERTIES TIMEOUT 600)
set_tests_properties(e2e.signed_start_dialog PROPERTIES LABELS x11)
