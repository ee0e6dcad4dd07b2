# Flags shared by every target of the project.
#
# Bit-exact floating point: no contraction into fused multiply-adds, no fast-math.
# Source paths in __FILE__ are made relative to the repository root, so that the
# locations carried by parse-error frames read "crates/<crate>/src/<file>:<line>".
add_compile_options(
  -ffp-contract=off
  -fno-fast-math
  "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/="
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
  -Wimplicit-fallthrough
)
# GCC builds every preset but fuzz and checks conversions; Clang (the fuzz preset) reads
# the same code with a different set of conversion rules and only the common warnings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wconversion -Wsign-conversion -Wnull-dereference)
endif()
if(TALLOWMERE_WERROR)
  add_compile_options(-Werror)
endif()
# Clang over GCC 12's libstdc++ (the fuzz preset): std::stable_sort calls the library's
# own std::get_temporary_buffer, deprecated since C++17, and Clang reports that from
# inside the system header. GCC, which builds every other preset, still reports any
# deprecated call in this project's code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_compile_options(-Wno-deprecated-declarations)
endif()

# Adds a GoogleTest executable made of the given sources, linked to the given libraries
# and to the header-only test support (tallowmere-testing). With DEMO_WORLD its tests
# require the CTest fixture that generates the demo world once per test run.
function(tallowmere_test name)
  cmake_parse_arguments(ARG "DEMO_WORLD" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tallowmere-testing GTest::gtest
                        GTest::gtest_main)
  set(properties TIMEOUT 600)
  if(ARG_DEMO_WORLD)
    list(APPEND properties FIXTURES_REQUIRED demo_world)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# Adds a libFuzzer target. Only meaningful in the fuzz preset (clang).
function(tallowmere_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY TALLOWMERE_FUZZERS ${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
endfunction()

# Declares the library of a crate folder: every .cpp under src/ (and src/file_type/),
# public headers under include/, GoogleTest files tests/*_test.cpp in one test program,
# and every fuzz/*_fuzz.cpp as its own libFuzzer target. DEMO_WORLD: the tests read the
# demo world of the test run.
function(tallowmere_crate name)
  cmake_parse_arguments(ARG "DEMO_WORLD" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/src/file_type/*.cpp)
  if(sources)
    set(usage PUBLIC)
    add_library(${name} STATIC ${sources})
  else()
    set(usage INTERFACE)
    add_library(${name} INTERFACE)
  endif()
  target_include_directories(${name} ${usage}
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${name} ${usage} ${ARG_DEPS})
  target_compile_features(${name} ${usage} cxx_std_23)

  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  if(TALLOWMERE_TESTS AND tests)
    set(demo_world)
    if(ARG_DEMO_WORLD)
      set(demo_world DEMO_WORLD)
    endif()
    tallowmere_test(${name}-tests SOURCES ${tests} LIBS ${name} ${ARG_TEST_DEPS} ${demo_world})
  endif()

  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  if(TALLOWMERE_FUZZ)
    foreach(fuzzer ${fuzzers})
      get_filename_component(fuzzer_name ${fuzzer} NAME_WE)
      tallowmere_fuzzer(${fuzzer_name} SOURCES ${fuzzer} LIBS ${name} ${ARG_TEST_DEPS})
    endforeach()
  endif()
endfunction()
