# Every target of ours compiles with the same strict warnings, fatal on GCC and Clang.
function(arvonic_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
    -Wimplicit-fallthrough -Werror)
endfunction()
