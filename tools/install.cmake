# Installs a build (cmake --install) and leaves its manifest whatever
# happens: CMake writes install_manifest.txt only once every file is in
# place, so an install that stops partway (a folder it cannot write, a file
# the build lacks) would leave files that no manifest names. Here the files
# CMake reports as it puts each in place ("Installing: ..." and
# "Up-to-date: ...", said before each copy) make the manifest of such an
# install, so that tools/uninstall.cmake takes them away again.
#
#   cmake -DBUILD=build -DPREFIX=/usr/local -P tools/install.cmake
#
# DESTDIR, from the environment, stages the install as cmake --install does;
# the manifest names the files without it, as CMake's own does.
if(NOT DEFINED BUILD OR NOT DEFINED PREFIX)
  message(FATAL_ERROR "usage: cmake -DBUILD=DIR -DPREFIX=DIR -P install.cmake")
endif()
set(manifest "${BUILD}/install_manifest.txt")
# The manifest of an earlier install is the last install's no more.
file(REMOVE "${manifest}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output ECHO_OUTPUT_VARIABLE
  ERROR_VARIABLE errors ECHO_ERROR_VARIABLE)
if(status EQUAL 0 AND EXISTS "${manifest}")
  return()
endif()

string(LENGTH "$ENV{DESTDIR}" destdir_length)
string(REGEX MATCHALL "-- (Installing|Up-to-date): [^\n]*" reported "${output}")
set(files "")
foreach(line ${reported})
  string(REGEX REPLACE "^-- (Installing|Up-to-date): " "" path "${line}")
  if(IS_DIRECTORY "${path}")  # a folder of install(DIRECTORY): not a file of the manifest
    continue()
  endif()
  string(SUBSTRING "${path}" ${destdir_length} -1 path)
  list(APPEND files "${path}")
endforeach()
list(REMOVE_DUPLICATES files)
list(LENGTH files count)
string(REPLACE ";" "\n" content "${files}")
file(WRITE "${manifest}" "${content}\n")
message(FATAL_ERROR "The install into ${PREFIX} stopped partway (status ${status}); ${manifest} lists the "
                    "${count} files it put in place, and `make uninstall` (with the same PREFIX and DESTDIR) "
                    "removes them.")
