# Run by `cmake --install` (and by cpack) after the files are in place:
# config.xml in its folder, and the links that give the installed programs
# their files beside them and the user the programs on the PATH.
# Set by the caller: quorvane_source_config, quorvane_libdir, quorvane_datadir.
# Paths are the final ones; DESTDIR (a package's staging folder) goes before
# every path written.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(config_dir /etc/quorvane)
else()
  set(config_dir "${prefix}/etc/quorvane")
endif()
set(libdir "${prefix}/${quorvane_libdir}")
set(datadir "${prefix}/${quorvane_datadir}")

# An edited config.xml is kept: a later install never undoes a change made
# for the machine. Debian's package marks it a configuration file instead.
if(EXISTS "$ENV{DESTDIR}${config_dir}/config.xml")
  message(STATUS "Keeping: $ENV{DESTDIR}${config_dir}/config.xml")
else()
  file(INSTALL "${quorvane_source_config}" DESTINATION "${config_dir}")
endif()

# link(<link path> <what it points to>): a relative link, so that the tree
# can be moved as a whole.
function(quorvane_link link target)
  get_filename_component(link_dir "${link}" DIRECTORY)
  file(RELATIVE_PATH relative "${link_dir}" "${target}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${link_dir}")
  file(REMOVE "$ENV{DESTDIR}${link}")
  file(CREATE_LINK "${relative}" "$ENV{DESTDIR}${link}" SYMBOLIC)
  message(STATUS "Installing: $ENV{DESTDIR}${link} -> ${relative}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${link}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

quorvane_link("${libdir}/config.xml" "${config_dir}/config.xml")
quorvane_link("${libdir}/Resource.dat" "${datadir}/Resource.dat")
quorvane_link("${libdir}/README.md" "${datadir}/README.md")
quorvane_link("${libdir}/docs" "${datadir}/docs")
quorvane_link("${libdir}/examples" "${datadir}/examples")
foreach(program Quorvane QuorvaneHelper)
  quorvane_link("${prefix}/bin/${program}" "${libdir}/${program}")
endforeach()
