# Three build sets. The default one (`cmake --build build`) makes what a user
# runs: the deliverables, the proxy, the launcher, the tools and the data
# beside them. The target `quorvane_tests` adds what ctest needs (test
# programs and the modules and programs they start, test helper libraries);
# `quorvane_benchmarks` adds the benchmarks (quorvane_bench) and what they
# link, which no test needs:
#
#   cmake --build build                               the programs
#   cmake --build build --target quorvane_tests       the programs and the tests
#   cmake --build build --target quorvane_benchmarks  the programs and the benchmarks
#
# Folders declare their targets as before; quorvane_split_build_sets(), called
# once after the last folder, sorts every target of the tree: a target named
# in QUORVANE_USER_TARGETS stays in the default set (with what it links, which
# Ninja builds as its dependencies), a benchmark goes to the benchmarks' set,
# every other one to the tests' set. A new program a user starts belongs in
# QUORVANE_USER_TARGETS.
set(QUORVANE_USER_TARGETS
  Quorvane QuorvaneCommon QuorvanePlatform QuorvaneScript QuorvaneRuntime QuorvaneHelper
  QuorvaneProxy QuorvaneBrowser QuorvanePack reg regsvr32
  QuorvaneResource QuorvaneExampleSite)

# Every build-system target declared in `dir` and the folders below it.
function(quorvane_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    quorvane_targets_below(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(quorvane_split_build_sets)
  quorvane_share_test_pch()
  quorvane_targets_below(${CMAKE_SOURCE_DIR} all_targets)
  get_property(bench_targets GLOBAL PROPERTY QUORVANE_BENCH_TARGETS)
  set(test_targets)
  foreach(target IN LISTS all_targets)
    if(target IN_LIST QUORVANE_USER_TARGETS)
      continue()
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
      continue()
    endif()
    # Libraries that a user target links are built for it in any case; the
    # rest of the tree only when the tests or the benchmarks are asked for
    # (a library that only benchmarks link still goes with the tests' set).
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
    if(NOT target IN_LIST bench_targets)
      list(APPEND test_targets ${target})
    endif()
  endforeach()
  add_custom_target(quorvane_tests)
  add_dependencies(quorvane_tests ${QUORVANE_USER_TARGETS})
  if(test_targets)
    add_dependencies(quorvane_tests ${test_targets})
  endif()
  add_custom_target(quorvane_benchmarks)
  add_dependencies(quorvane_benchmarks ${QUORVANE_USER_TARGETS})
  if(bench_targets)
    add_dependencies(quorvane_benchmarks ${bench_targets})
  endif()
endfunction()
