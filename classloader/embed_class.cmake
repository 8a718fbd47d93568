# cmake -DCLASS_FILE=<.class> -DOUTPUT=<.cpp> -P embed_class.cmake
# Writes the class file's bytes and length as the C++ definitions of __svcl_dat.
file(READ "${CLASS_FILE}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR length "${digits} / 2")
if(length EQUAL 0)
    message(FATAL_ERROR "${CLASS_FILE} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}"
    "// Generated from SignatureValidatingClassLoader.class; do not edit.\n"
    "#include \"classloader/svcl_dat.h\"\n\n"
    "const unsigned char __svcl_dat[] = {\n    ${bytes}\n};\n\n"
    "const int __svcl_dat_length = ${length};\n")
