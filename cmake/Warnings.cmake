# Every target of ours compiles with the same strict warnings, fatal on GCC and Clang.
function(arvonic_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
    -Wimplicit-fallthrough -Werror
    # GCC 12 reports std::string assignments at -O2 and above as overlapping
    # copies (a false positive in its own library headers), so it stays off there.
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()
