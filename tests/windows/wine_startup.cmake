# The shipped vistal.exe started under Wine in staged install directories, with a stand-in for
# the VM library. The runner is itself a Windows program: it runs under the emulator and starts
# each vistal.exe inside the same Wine session, which keeps every start short.
add_library(vistal_standin_jvm SHARED ${CMAKE_CURRENT_LIST_DIR}/wine_startup_jvm.c)
set_target_properties(vistal_standin_jvm PROPERTIES PREFIX "" OUTPUT_NAME standin_jvm)
target_include_directories(vistal_standin_jvm SYSTEM PRIVATE ${VISTAL_JNI_INCLUDE})
target_link_options(vistal_standin_jvm PRIVATE -static-libgcc)
vistal_warnings(vistal_standin_jvm)

# The same library as an attacker's copy, planted in the current directory and on PATH.
add_library(vistal_planted_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/wine_startup_jvm.c)
set_target_properties(vistal_planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted_dll)
target_compile_definitions(vistal_planted_dll PRIVATE VISTAL_PLANTED)
target_include_directories(vistal_planted_dll SYSTEM PRIVATE ${VISTAL_JNI_INCLUDE})
target_link_options(vistal_planted_dll PRIVATE -static-libgcc)
vistal_warnings(vistal_planted_dll)

add_executable(vistal_wine_startup_test ${CMAKE_CURRENT_LIST_DIR}/wine_startup_test.cpp)
target_link_libraries(vistal_wine_startup_test PRIVATE ${VISTAL_GTEST})
# Z: is the Unix root in a Wine prefix.
target_compile_definitions(vistal_wine_startup_test PRIVATE
    VISTAL_EXE="Z:$<TARGET_FILE:vistal>"
    STANDIN_JVM="Z:$<TARGET_FILE:vistal_standin_jvm>"
    PLANTED_DLL="Z:$<TARGET_FILE:vistal_planted_dll>")
target_link_options(vistal_wine_startup_test PRIVATE -static -static-libgcc -static-libstdc++)
vistal_warnings(vistal_wine_startup_test)
add_dependencies(vistal_wine_startup_test vistal vistal_standin_jvm vistal_planted_dll)
add_test(NAME windows.wine_startup COMMAND vistal_wine_startup_test)
