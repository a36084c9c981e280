# `cmake --install build --prefix P` lays Quorvane out like any Debian
# program:
#
#   P/lib/quorvane/        the programs and modules: the runner's directory
#   P/bin/                 links to the programs a user starts (Quorvane,
#                          QuorvaneHelper)
#   P/share/quorvane/      Resource.dat, README.md, docs/ and the examples
#   /etc/quorvane/         config.xml when P is /usr, else P/etc/quorvane/
#
# The programs look for config.xml, Resource.dat, the read-me and the example
# site in their own directory, so P/lib/quorvane holds relative links to them:
# the installed copy finds its files wherever P is, and is moved as a whole.
# A program started through its link in P/bin still has P/lib/quorvane as its
# directory (the kernel names the link's target as the running program).
set(QUORVANE_INSTALL_LIBDIR lib/quorvane)
set(QUORVANE_INSTALL_DATADIR share/quorvane)

function(quorvane_install_rules)
  install(TARGETS Quorvane QuorvaneHelper QuorvaneProxy QuorvaneBrowser QuorvanePack reg regsvr32
    RUNTIME DESTINATION ${QUORVANE_INSTALL_LIBDIR})
  install(TARGETS QuorvaneCommon QuorvanePlatform QuorvaneScript
    LIBRARY DESTINATION ${QUORVANE_INSTALL_LIBDIR})
  install(TARGETS QuorvaneRuntime LIBRARY DESTINATION ${QUORVANE_INSTALL_LIBDIR})

  install(FILES ${QUORVANE_BIN_DIR}/Resource.dat ${CMAKE_SOURCE_DIR}/README.md
    DESTINATION ${QUORVANE_INSTALL_DATADIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples ${CMAKE_SOURCE_DIR}/docs
    DESTINATION ${QUORVANE_INSTALL_DATADIR})

  # The prefix is known only when installing (cpack installs the same build
  # under /usr), so the configuration's place and the links are decided then.
  install(CODE "
    set(quorvane_source_config \"${CMAKE_SOURCE_DIR}/runner/config.xml\")
    set(quorvane_libdir \"${QUORVANE_INSTALL_LIBDIR}\")
    set(quorvane_datadir \"${QUORVANE_INSTALL_DATADIR}\")
    include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuorvaneInstallLinks.cmake\")
  ")

  # The install into a private prefix, and the installed copy at work.
  quorvane_test(install_prefix_test
    SOURCES ${CMAKE_SOURCE_DIR}/packaging/install_prefix_test.cpp LIBS quorvane_test_support)
  add_dependencies(install_prefix_test ${QUORVANE_USER_TARGETS})
  target_compile_definitions(install_prefix_test PRIVATE
    CMAKE_COMMAND="${CMAKE_COMMAND}" QUORVANE_BUILD_DIR="${CMAKE_BINARY_DIR}")
endfunction()
