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
  quorvane_test_definitions(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  set_property(GLOBAL APPEND PROPERTY QUORVANE_TEST_TARGETS ${name})
endfunction()

function(quorvane_test_definitions name)
  target_compile_definitions(${name} PRIVATE
    QUORVANE_BIN_DIR="${QUORVANE_BIN_DIR}"
    QUORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()

# One precompiled header for every test program: GoogleTest and GoogleMock
# cost each test source about as much to parse as the test itself. Made
# once, by quorvane_test_pch, with the flags of a test program; a test
# program whose folder gives it compile options of its own (-g1, say) would
# find it unusable and keeps to plain includes.
add_executable(quorvane_test_pch ${CMAKE_SOURCE_DIR}/test_support/shared_test_headers.cpp)
set_target_properties(quorvane_test_pch PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUORVANE_TEST_DIR})
target_link_libraries(quorvane_test_pch PRIVATE GTest::gtest GTest::gmock)
quorvane_test_definitions(quorvane_test_pch)
target_precompile_headers(quorvane_test_pch PRIVATE
  <gmock/gmock.h> <gtest/gtest.h>
  <algorithm> <chrono> <filesystem> <functional> <map> <memory> <set> <string> <thread> <vector>)

# Called once every test program is declared (quorvane_split_build_sets).
function(quorvane_share_test_pch)
  get_target_property(shared_options quorvane_test_pch COMPILE_OPTIONS)
  get_property(tests GLOBAL PROPERTY QUORVANE_TEST_TARGETS)
  foreach(test IN LISTS tests)
    get_target_property(options ${test} COMPILE_OPTIONS)
    if("${options}" STREQUAL "${shared_options}")
      set_target_properties(${test} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM quorvane_test_pch)
    endif()
  endforeach()
endfunction()

# quorvane_bench(NAME SOURCES ... LIBS ...)
# A benchmark program: prints its figures, asserts nothing. Built into
# build/bench by the target `quorvane_benchmarks` (cmake/QuorvaneBuildSets.cmake),
# never by `quorvane_tests`, never run by ctest.
function(quorvane_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  set_property(GLOBAL APPEND PROPERTY QUORVANE_BENCH_TARGETS ${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench UNITY_BUILD OFF)
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  target_compile_definitions(${name} PRIVATE
    QUORVANE_BIN_DIR="${QUORVANE_BIN_DIR}"
    QUORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()
