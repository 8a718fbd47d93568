# Loading generated classes from a signed jar: the signature-validating loader against the JDK's
# URLClassLoader over the same jar. Run by hand at full size (see docs/BENCHMARKS.md); CI runs it
# once at a tiny size.
set(classload_work ${CMAKE_BINARY_DIR}/bench/classload)
file(MAKE_DIRECTORY ${classload_work})
add_test(NAME bench.classload
    COMMAND ${VISTAL_JDK_HOME}/bin/java -cp ${VISTAL_SVCL_CLASSES}
            ${CMAKE_CURRENT_LIST_DIR}/classload_bench.java
            ${CMAKE_BINARY_DIR}/dev-signing/keystore.p12 ${classload_work} --classes 100 --runs 1)
set_tests_properties(bench.classload PROPERTIES LABELS bench TIMEOUT 300)
