# The class loader bridge in a real VM: one VM per test process, so each group of tests runs as
# its own process (a gtest filter per ctest entry).
set(bridge_classes ${CMAKE_CURRENT_BINARY_DIR}/bridge-classes)
add_custom_command(OUTPUT ${bridge_classes}/NullLoader.class
    COMMAND ${VISTAL_JDK_HOME}/bin/javac -nowarn -cp ${VISTAL_SVCL_CLASSES} -d ${bridge_classes}
            ${CMAKE_CURRENT_LIST_DIR}/bridge_null_loader.java
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/bridge_null_loader.java vistal_svcl
    VERBATIM)
add_custom_target(vistal_bridge_classes DEPENDS ${bridge_classes}/NullLoader.class)

add_executable(vistal_jvm_bridge ${CMAKE_CURRENT_LIST_DIR}/bridge_test.cpp $<TARGET_OBJECTS:vistal_startup>)
target_link_libraries(vistal_jvm_bridge PRIVATE
    vistal_core vistal_platform vistal_test_deployment vistal_core vistal_platform
    ${VISTAL_JDK_HOME}/lib/server/libjvm.so ${VISTAL_GTEST} pthread)
target_include_directories(vistal_jvm_bridge SYSTEM PRIVATE ${VISTAL_JNI_INCLUDE})
set_target_properties(vistal_jvm_bridge PROPERTIES BUILD_RPATH ${VISTAL_JDK_HOME}/lib/server)
target_compile_definitions(vistal_jvm_bridge PRIVATE
    BRIDGE_CLASSES="${bridge_classes}" TEST_APP_DIR="${VISTAL_TEST_APP_DIR}")
add_dependencies(vistal_jvm_bridge vistal_bridge_classes vistal_test_app)
vistal_warnings(vistal_jvm_bridge)

add_test(NAME jvm.bridge COMMAND vistal_jvm_bridge --gtest_filter=Bridge.*)
add_test(NAME jvm.bridge_failed_setup COMMAND vistal_jvm_bridge --gtest_filter=FailedSetup.*)
set_tests_properties(jvm.bridge jvm.bridge_failed_setup PROPERTIES LABELS jvm TIMEOUT 300)
