# Flags shared by every target of the project.
#
# Bit-exact floating point: no contraction into fused multiply-adds, no fast-math.
# Source paths in __FILE__ are made relative to the repository root, so that the
# locations carried by parse-error frames read "crates/<crate>/src/<file>:<line>".
add_compile_options(
  -ffp-contract=off
  -fno-fast-math
  "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/="
  -Wall -Wextra
)
if(TALLOWMERE_WERROR)
  add_compile_options(-Werror)
endif()

# Adds a GoogleTest executable made of the given sources, linked to the given libraries.
function(tallowmere_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# Adds a libFuzzer target. Only meaningful in the fuzz preset (clang).
function(tallowmere_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY TALLOWMERE_FUZZERS ${name})
endfunction()
