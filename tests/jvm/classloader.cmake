# The signature-validating class loader in a real VM: a Java harness that makes its own keys and
# signed jars with keytool and jarsigner, run on the build's JDK.
set(classloader_work ${CMAKE_CURRENT_BINARY_DIR}/classloader-work)
file(MAKE_DIRECTORY ${classloader_work})
add_test(NAME jvm.classloader
    COMMAND ${VISTAL_JDK_HOME}/bin/java --add-opens java.base/java.lang=ALL-UNNAMED
            -cp ${VISTAL_SVCL_CLASSES} ${CMAKE_CURRENT_LIST_DIR}/classloader_test.java
            ${CMAKE_BINARY_DIR}/dev-signing/keystore.p12
    WORKING_DIRECTORY ${classloader_work})
set_tests_properties(jvm.classloader PROPERTIES LABELS jvm TIMEOUT 300)
