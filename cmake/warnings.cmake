# Warnings are errors in our own code.
function(vistal_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unused-parameter)
endfunction()
