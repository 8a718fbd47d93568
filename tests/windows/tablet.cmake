# Pen-flick hooks on real windows under Wine. Wine needs a display to make windows, so the test
# runs on a private Xvfb server of its own (tablet_display.sh) instead of the headless runner.
add_executable(vistal_windows_tablet_test ${CMAKE_CURRENT_LIST_DIR}/tablet_test.cpp)
target_link_libraries(vistal_windows_tablet_test PRIVATE vistal_core vistal_platform ${VISTAL_GTEST})
target_include_directories(vistal_windows_tablet_test PRIVATE "${PROJECT_SOURCE_DIR}")
vistal_warnings(vistal_windows_tablet_test)
target_link_options(vistal_windows_tablet_test PRIVATE -static -static-libgcc -static-libstdc++)
add_test(NAME windows.tablet
    COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/tablet_display.sh" $<TARGET_FILE:vistal_windows_tablet_test>)
