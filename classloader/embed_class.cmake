# cmake -DCLASS_FILE=<.class> -DHELPERS=<.class;...> -DOUTPUT=<.cpp> -P embed_class.cmake
# Writes the class file's bytes and length as the C++ definitions of __svcl_dat, and each helper
# class file, with its internal name, as an element of __svcl_helpers.
function(hex_bytes file out_bytes out_length)
    file(READ "${file}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR length "${digits} / 2")
    if(length EQUAL 0)
        message(FATAL_ERROR "${file} is empty")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
    set(${out_bytes} "${bytes}" PARENT_SCOPE)
    set(${out_length} ${length} PARENT_SCOPE)
endfunction()

hex_bytes("${CLASS_FILE}" bytes length)
set(helper_arrays "")
set(helper_table "")
set(index 0)
foreach(helper IN LISTS HELPERS)
    hex_bytes("${helper}" helper_bytes helper_length)
    # The internal name: the path below the package root, without ".class".
    string(REGEX REPLACE ".*/(com/tolvane/classloader/[^/]+)\\.class$" "\\1" name "${helper}")
    string(APPEND helper_arrays "const unsigned char helper_${index}[] = {\n    ${helper_bytes}\n};\n\n")
    string(APPEND helper_table "    {\"${name}\", helper_${index}, ${helper_length}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}"
    "// Generated from SignatureValidatingClassLoader.class; do not edit.\n"
    "#include \"classloader/svcl_dat.h\"\n\n"
    "namespace classloader {\n\n"
    "const unsigned char __svcl_dat[] = {\n    ${bytes}\n};\n\n"
    "const int __svcl_dat_length = ${length};\n\n"
    "namespace {\n\n${helper_arrays}} // namespace\n\n"
    "const svcl_helper __svcl_helpers[] = {\n${helper_table}};\n\n"
    "const int __svcl_helper_count = ${index};\n\n"
    "} // namespace classloader\n")
