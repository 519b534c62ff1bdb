# Removes what an install put in place: every file install_manifest.txt
# lists, then each folder it leaves empty that is the game's own (one named
# voidcrawl, or inside one). A folder that holds anything else stays, and so
# do shared folders such as bin/ or share/applications/, empty or not.
#
#   cmake -DMANIFEST=build/install_manifest.txt -DPREFIX=/usr/local -P tools/uninstall.cmake
#
# The manifest names the files under the prefix without DESTDIR, which is
# put in front of each again here (give the install's). PREFIX must be the
# one the install had: a manifest of another prefix removes nothing.
if(NOT DEFINED MANIFEST OR NOT DEFINED PREFIX)
  message(FATAL_ERROR "usage: cmake -DMANIFEST=FILE -DPREFIX=DIR -P uninstall.cmake")
endif()
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "${MANIFEST} does not exist: nothing was installed from this build "
                      "(or it was removed already)")
endif()
set(prefix "${PREFIX}/")
cmake_path(NORMAL_PATH prefix)
file(STRINGS "${MANIFEST}" installed)
set(files "")
foreach(file ${installed})
  set(path "${file}")
  cmake_path(NORMAL_PATH path)
  string(FIND "${path}" "${prefix}" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "${MANIFEST} records an install outside ${PREFIX} (${file}): "
                        "give the PREFIX it was installed with")
  endif()
  list(APPEND files "$ENV{DESTDIR}${path}")
endforeach()
set(root "$ENV{DESTDIR}${prefix}")
string(REGEX REPLACE "(.)/$" "\\1" root "${root}")

set(folders "")
foreach(file ${files})
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  list(APPEND folders "${folder}")
endforeach()

# The game's own folders, deepest first, each only when empty.
list(REMOVE_DUPLICATES folders)
set(ours "")
foreach(folder ${folders})
  cmake_path(NORMAL_PATH folder)
  string(LENGTH "${root}" length)
  string(SUBSTRING "${folder}" ${length} -1 inside)  # "/share/voidcrawl/grafik"
  while(inside MATCHES "/voidcrawl(/|$)")
    list(APPEND ours "${root}${inside}")
    get_filename_component(inside "${inside}" DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES ours)
list(SORT ours ORDER DESCENDING)
foreach(folder ${ours})
  file(GLOB left "${folder}/*" "${folder}/.*")
  if(IS_DIRECTORY "${folder}" AND NOT left)
    message(STATUS "Removing ${folder}/")
    file(REMOVE_RECURSE "${folder}")  # empty, as just seen
  endif()
endforeach()
file(REMOVE "${MANIFEST}")
