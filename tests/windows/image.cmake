# What the shipped vistal.exe carries besides code, read from the file on the build host.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME windows.image
    COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_LIST_DIR}/image_test.py"
            $<TARGET_FILE:vistal> "${VISTAL_COMPANY_NAME}" "${VISTAL_LEGAL_NOTICE}")
