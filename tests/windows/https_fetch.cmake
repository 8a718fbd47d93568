# The fetch over the real WinINet transport under Wine.
add_executable(vistal_windows_https_fetch_test ${CMAKE_CURRENT_LIST_DIR}/https_fetch_test.cpp)
target_link_libraries(vistal_windows_https_fetch_test PRIVATE
    vistal_core vistal_platform vistal_unit_deployment vistal_core ${VISTAL_GTEST})
target_include_directories(vistal_windows_https_fetch_test PRIVATE "${PROJECT_SOURCE_DIR}")
vistal_warnings(vistal_windows_https_fetch_test)
target_link_options(vistal_windows_https_fetch_test PRIVATE -static -static-libgcc -static-libstdc++)
add_test(NAME windows.https_fetch COMMAND vistal_windows_https_fetch_test)
