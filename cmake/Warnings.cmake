function(sonaro_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Woverloaded-virtual -Wformat=2)
endfunction()

# Tests and benchmarks in a Debug build: the product code keeps the build type's optimisation, the
# code around it is compiled without, which halves the sanitizer build of the tests.
function(sonaro_test_code target)
    sonaro_warnings(${target})
    target_compile_options(${target} PRIVATE $<$<CONFIG:Debug>:-O0>)
endfunction()
