# quorvane_test(NAME SOURCES a_test.cpp ... LIBS lib ...)
# One GoogleTest program per module. Test programs go to build/tests, away
# from the deliverables, and run with HOME, the XDG folders and the machine
# registry hive pointed into a private temporary folder (see
# test_support/isolated_main.cpp), so no test touches the real machine.
set(QUORVANE_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
include(GoogleTest)

function(quorvane_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUORVANE_TEST_DIR} UNITY_BUILD OFF)
  target_link_libraries(${name} PRIVATE ${T_LIBS} quorvane_test_support GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    QUORVANE_BIN_DIR="${QUORVANE_BIN_DIR}"
    QUORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# quorvane_bench(NAME SOURCES ... LIBS ...)
# A benchmark program: prints its figures, asserts nothing. Built into
# build/bench, never run by ctest.
function(quorvane_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench UNITY_BUILD OFF)
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  target_compile_definitions(${name} PRIVATE
    QUORVANE_BIN_DIR="${QUORVANE_BIN_DIR}"
    QUORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()
