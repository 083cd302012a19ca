# Run by cpack -G DEB once the package's files are staged: the Debian
# packages whose libraries the program, its engine and tallorin-report load,
# as dpkg-shlibdeps reads them from the binaries, become the package's
# Depends. The engine's own libraries are found in the staging folder through
# the binaries' RUNPATH and need no package.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
set(binaries)
foreach(f IN LISTS files)
  if(IS_SYMLINK "${stage}/${f}")
    continue()
  endif()
  file(READ "${stage}/${f}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")  # "\x7fELF"
    list(APPEND binaries "${f}")
  endif()
endforeach()
if(NOT binaries)
  message(FATAL_ERROR "no binaries staged in ${stage}")
endif()

find_program(shlibdeps dpkg-shlibdeps)
if(NOT shlibdeps)
  message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) is needed to build the Debian package")
endif()
# dpkg-shlibdeps wants a source package's control file, and a DEBIAN folder
# to know the package's root by when it resolves $ORIGIN; neither is part of
# the package.
file(MAKE_DIRECTORY "${stage}/debian" "${stage}/DEBIAN")
file(WRITE "${stage}/debian/control" "")
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${shlibdeps} -O ${binaries}
  WORKING_DIRECTORY "${stage}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
  OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${stage}/debian" "${stage}/DEBIAN")
if(NOT rc EQUAL 0 OR NOT out MATCHES "shlibs:Depends=(.+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed (${rc}): ${err}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
